#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace vx37 {

// The window's controls as designed: every control is created once from this data, at its
// place, in its colours and font, and none is moved, resized or recoloured afterwards.
// Geometry is in twips (15 to a pixel), relative to the control's container.

enum class ControlKind : std::uint8_t { Frame, Label, Button, Option, TextBox, Picture };

enum class FontKey : std::uint8_t { Panel, G9B, G9, G8B, G8, G10B, G10, P9, P9B, P10B };

enum class TextAlign : std::uint8_t { Left, Centre, Right };

// A colour as 0xRRGGBB, or kNoColour: the container's background for labels, frames and
// option buttons, and the toolkit's default face for a button or the text box.
inline constexpr std::int32_t kNoColour = -1;

struct ControlSpec
{
    std::string_view name;
    ControlKind kind;
    std::string_view caption; // UTF-8
    int left;
    int top;
    int width;
    int height;
    std::int32_t back = kNoColour;
    std::int32_t text = kNoColour;
    FontKey font = FontKey::Panel;
    int tabIndex = -1;               // -1: never takes the focus
    std::string_view container = {}; // empty: placed directly on the window
    TextAlign align = TextAlign::Left;
    bool border = false; // single border
    bool visibleAtStart = true;
};

// A straight line drawn on the window, in client coordinates.
struct LineSpec
{
    std::string_view name;
    int x1;
    int y1;
    int x2;
    int y2;
};

struct FontSpec
{
    FontKey key;
    std::string_view face; // UTF-8
    double points;
    bool bold;
};

// The window itself.
inline constexpr std::string_view kFormCaption = "ORVA   VX37   CONTROL   Ver.1.40";
inline constexpr std::int32_t kFormBackground = 0xC0C0C0;
inline constexpr FontKey kFormFont = FontKey::G9B;
// The arrow outline: twelve solid lines this wide, in this colour.
inline constexpr std::int32_t kOutlineColour = 0x8080FF;
inline constexpr int kOutlinePixels = 2;

// Containers come before the controls they hold, and a later control lies above an
// earlier one where they overlap (Frame8 over Command33).
std::span<const ControlSpec> controlInventory();
std::span<const LineSpec> arrowOutline();
std::span<const FontSpec> fontTable();

const ControlSpec* findControl(std::string_view name);
const FontSpec& fontSpec(FontKey key);

// What a screen reader says for a control where its caption alone would not tell a
// listener which control it is (an arrow, a "+", one of the eight "ON"s, the two "RGB"s,
// a monitor line without caption), or empty where the caption says it. Captions stay as
// designed; only the spoken names differ.
std::string_view spokenName(std::string_view control);
// The spoken name that goes with a caption the view button takes at run time (UTF-8), or
// empty.
std::string_view spokenCaption(std::string_view caption);

} // namespace vx37
