"""rename_face.py IN OUT FAMILY: gives a subset face its own name.

The faces' licence lets a derived font be served only under a name that neither is nor
contains the original's, so every name record that says the family, full or PostScript
name is rewritten; the copyright and licence records stay.
"""
import sys

from fontTools.ttLib import TTFont

RENAMED = {1, 3, 4, 6, 16, 17, 18, 21, 22}


def main(source, target, family):
    font = TTFont(source)
    names = font["name"]
    postscript = family.replace(" ", "")
    for record in names.names:
        if record.nameID in RENAMED:
            record.string = postscript if record.nameID == 6 else family
    font.save(target)


if __name__ == "__main__":
    main(*sys.argv[1:])
