#pragma once

#include "panel/control_inventory.h"

#include <QFont>
#include <QString>

#include <utility>
#include <vector>

namespace vx37 {

// Reads the machine's font configuration (some fifty XML files under /etc/fonts), which
// the first text drawn needs. It needs no QApplication: vx37-panel runs it on a thread of
// its own while the toolkit connects to the display, which leaves the second core idle.
// Does nothing where the panel is built without fontconfig.
void readFontConfiguration();

// Registers IPAGothic and IPAPGothic as the substitutes of the panel's two faces, which a
// machine without them lacks; without this Qt silently falls back to a Latin sans face
// that has neither the arrows nor the Japanese caption of the view button.
void installFontSubstitutes();

// The font of a key of the font table. Sizes are points at 96 dpi, so they are set in
// pixels: the layout is in pixels too and must not grow on a screen of another density.
QFont panelFont(FontKey key);

// Draws each text once in its font off the screen: the faces are opened and the glyphs
// rendered into the toolkit's caches, where the window's first paint finds them.
void prepareGlyphs(const std::vector<std::pair<QFont, QString>>& texts);

} // namespace vx37
