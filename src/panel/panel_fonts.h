#pragma once

#include "panel/control_inventory.h"

#include <QFont>

namespace vx37 {

// Registers IPAGothic and IPAPGothic as the substitutes of the panel's two faces, which a
// machine without them lacks; without this Qt silently falls back to a Latin sans face
// that has neither the arrows nor the Japanese caption of the view button.
void installFontSubstitutes();

// The font of a key of the font table. Sizes are points at 96 dpi, so they are set in
// pixels: the layout is in pixels too and must not grow on a screen of another density.
QFont panelFont(FontKey key);

} // namespace vx37
