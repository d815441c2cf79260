// vx37-page-glyphs FILE: writes every character the panel's page can show in the panel's
// faces, UTF-8: each caption of the control inventory and of the view button, printable
// ASCII and Latin-1 (the monitor and status lines, the entry box). The build subsets the
// web fonts to these.

#include "app/form_state.h"
#include "panel/control_inventory.h"

#include <QFile>
#include <QString>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: vx37-page-glyphs FILE\n");
        return 2;
    }
    QString text;
    for (const vx37::ControlSpec& item : vx37::controlInventory())
        text += QString::fromUtf8(item.caption.data(), qsizetype(item.caption.size()));
    text += vx37::kCaptionShowData + vx37::kCaptionHideData + vx37::kCaptionClose;
    for (char16_t c = 0x20; c <= 0xFF; ++c)
        if (c < 0x7F || c >= 0xA0)
            text += QChar(c);
    QFile out(QString::fromLocal8Bit(argv[1]));
    if (!out.open(QIODevice::WriteOnly) || out.write(text.toUtf8()) < 0) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
