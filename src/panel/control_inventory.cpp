#include "panel/control_inventory.h"

#include <algorithm>
#include <array>

namespace vx37 {

namespace {

using F = FontKey;
using A = TextAlign;

constexpr ControlSpec frame(std::string_view name, int left, int top, int width, int height,
                            std::string_view container = {}, bool visible = true)
{
    return {name,      ControlKind::Frame, {}, left,      top,     width, height, kNoColour,
            kNoColour, F::Panel,           -1, container, A::Left, false, visible};
}

constexpr ControlSpec label(std::string_view name, std::string_view caption, int left, int top,
                            int width, int height, FontKey font, std::string_view container,
                            TextAlign align = A::Left, std::int32_t text = kNoColour)
{
    return {name, ControlKind::Label, caption, left, top, width, height, kNoColour, text, font,
            -1,   container,          align};
}

// A white, single-bordered monitor line in Frame9.
constexpr ControlSpec line(std::string_view name, int left, int top, int width, int height,
                           FontKey font, std::int32_t text = kNoColour)
{
    return {name, ControlKind::Label, {},      left, top, width, height, 0xFFFFFF, text, font,
            -1,   "Frame9",           A::Left, true};
}

constexpr ControlSpec button(std::string_view name, std::string_view caption, int left, int top,
                             int width, int height, std::int32_t back, FontKey font, int tab,
                             std::string_view container = {}, bool visible = true)
{
    return {name,   ControlKind::Button, caption, left, top,       width,     height,
            back,   kNoColour,           font,    tab,  container, A::Centre, false,
            visible};
}

constexpr ControlSpec option(std::string_view name, std::string_view caption, int left, int top,
                             int width, int height, int tab, std::string_view container)
{
    return {name,   ControlKind::Option, caption,   left,   top, width,
            height, kNoColour,           kNoColour, F::G9B, tab, container};
}

constexpr std::int32_t kOn = 0xC0FFC0;
constexpr std::int32_t kOff = 0xFFC0C0;
constexpr std::int32_t kFunction = 0xC0FFFF;
constexpr std::int32_t kArrow = 0xFFE0C0;
constexpr std::int32_t kSelect = 0xFF8000;
constexpr std::int32_t kVolume = 0xFFC080;
constexpr std::int32_t kImage = 0xC0C0FF;
constexpr std::int32_t kAutoImage = 0x00C0C0;
constexpr std::int32_t kGrey = 0xC0C0C0;

constexpr auto kControls = std::to_array<ControlSpec>({
    // Row one of the titled groups.
    frame("Frame1", 120, 240, 1695, 975),
    label("Label1", "POWER", 240, 240, 1095, 255, F::G9B, "Frame1", A::Centre, 0xC00000),
    button("Command17", "ON", 120, 600, 615, 300, kOn, F::P9B, 1, "Frame1"),
    button("Command18", "OFF", 960, 600, 615, 300, kOff, F::P9B, 27, "Frame1"),
    frame("Frame2", 1920, 240, 3375, 975),
    label("Label2", "INPUT MODE SET", 720, 240, 1935, 255, F::G9B, "Frame2", A::Centre),
    button("Command27", "PC1", 240, 600, 855, 300, kFunction, F::P9B, 36, "Frame2"),
    button("Command28", "PC2", 1320, 600, 615, 300, kFunction, F::P9B, 37, "Frame2"),
    button("Command29", "Video", 2280, 600, 735, 300, kFunction, F::P9B, 38, "Frame2"),

    // Row two.
    frame("Frame3", 120, 1440, 1695, 855),
    label("Label4", "SOUND MUTE", 120, 195, 1455, 300, F::G9B, "Frame3", A::Centre),
    button("Command19", "ON", 120, 480, 615, 300, kOn, F::P9B, 28, "Frame3"),
    button("Command20", "OFF", 960, 480, 615, 300, kOff, F::P9B, 29, "Frame3"),
    frame("Frame4", 1920, 1440, 1695, 855),
    label("Label5", "NO SHOW", 360, 210, 1095, 285, F::G9B, "Frame4", A::Centre),
    button("Command21", "ON", 120, 480, 615, 300, kOn, F::P9B, 30, "Frame4"),
    button("Command22", "OFF", 960, 480, 615, 300, kOff, F::P9B, 31, "Frame4"),
    frame("Frame7", 3720, 1440, 1695, 855),
    label("Label8", "FREEZE", 240, 210, 1215, 285, F::G9B, "Frame7", A::Centre),
    button("Command25", "ON", 120, 480, 615, 300, kOn, F::P9B, 34, "Frame7"),
    button("Command26", "OFF", 960, 480, 615, 300, kOff, F::P9B, 35, "Frame7"),
    frame("Frame6", 5640, 1440, 1695, 855),
    label("Label7", "MENU", 360, 240, 975, 255, F::G9B, "Frame6", A::Centre),
    button("Command23", "ON", 120, 480, 615, 300, kOn, F::P9B, 32, "Frame6"),
    button("Command24", "OFF", 960, 480, 615, 300, kOff, F::P9B, 33, "Frame6"),
    frame("Frame5", 7440, 1440, 1815, 855),
    label("Label6", "AV Size", 240, 210, 1335, 285, F::G9B, "Frame5", A::Centre),
    button("Command31", "Regular", 120, 480, 855, 300, kFunction, F::P9, 39, "Frame5"),
    button("Command32", "Wide", 1080, 480, 615, 300, kFunction, F::P9, 40, "Frame5"),

    // The arrow cluster and the adjustment pairs.
    button("Command5", "\u2191", 1200, 2520, 855, 375, kArrow, F::P9B, 17),
    button("Command9", "\u2190", 240, 3000, 855, 375, kArrow, F::P9B, 21),
    button("Command6", "SELECT", 1200, 3000, 855, 375, kSelect, F::G9, 18),
    button("Command8", "\u2192", 2160, 3000, 855, 375, kArrow, F::P9B, 20),
    button("Command7", "\u2193", 1200, 3480, 855, 375, kArrow, F::P9B, 19),
    label("Label3", "VOL", 3600, 2520, 495, 255, F::G9B, {}, A::Centre),
    button("Command1", "+", 3600, 2880, 375, 255, kVolume, F::G9B, 5),
    button("Command2", "-", 3600, 3240, 375, 255, kVolume, F::G9B, 6),
    label("Label13", "Brightness", 4560, 2520, 975, 255, F::G9, {}),
    button("Command15", "+", 4800, 2880, 375, 255, kFunction, F::G9, 51),
    button("Command35", "-", 4800, 3240, 375, 255, kFunction, F::G9, 52),
    label("Label17", "D.Zoom", 6360, 2520, 735, 255, F::G9, {}),
    button("Command48", "+", 6480, 2880, 375, 255, kFunction, F::P9, 58),
    button("Command49", "-", 6480, 3240, 375, 255, kFunction, F::G9, 59),
    label("Label18", "Keystone", 7320, 2520, 855, 255, F::G9, {}),
    button("Command50", "+", 7440, 2880, 375, 255, kFunction, F::G9, 61),
    button("Command51", "-", 7440, 3240, 375, 255, kFunction, F::G9, 62),

    // "R/C KEY OFF", the preset grid and the right column.
    label("Label19", "R/C KEY OFF", 6600, 3720, 1332, 252, F::G9, {}),
    button("Command56", "NONE", 6600, 3960, 1200, 372, kFunction, F::G9, 65),
    button("Command57", "R/C", 6600, 4320, 606, 372, kFunction, F::G9, 66),
    button("Command58", "KEY", 7200, 4320, 606, 372, kFunction, F::G9, 67),
    button("Command4", "STAND", 240, 4080, 975, 255, kFunction, F::G9, 73),
    button("Command10", "REAL", 1200, 4080, 975, 255, kFunction, F::G9, 74),
    button("Command11", "CINEMA", 2160, 4080, 975, 255, kFunction, F::G9, 75),
    button("Command39", "IMAGE1", 240, 4320, 975, 255, kFunction, F::G9, 76),
    button("Command40", "IMAGE2", 1200, 4320, 975, 255, kFunction, F::G9, 77),
    button("Command41", "IMAGE3", 2160, 4320, 975, 255, kFunction, F::G9, 78),
    button("Command42", "IMAGE4", 240, 4560, 975, 255, kFunction, F::G9, 79),
    button("Command12", "B.Board", 1200, 4560, 975, 255, kFunction, F::G9, 98),
    button("Command36", "Dynamic", 2160, 4560, 975, 255, kFunction, F::G9, 99),
    {"Image1", ControlKind::Picture, {}, 8160, 120, 1200, 390},
    button("Command13", "A-IMAGE", 8400, 2760, 975, 250, kAutoImage, F::G9, 24),
    button("Command30", "IMAGE", 8400, 3120, 975, 255, kImage, F::G9, 69),
    button("Command14", "P-TIMER", 8400, 3360, 975, 250, kImage, F::G9, 25),
    button("Command3", "DISPLAY CLEAR", 8400, 3600, 975, 492, kImage, F::G9, 16),
    button("Command16", "END", 8400, 4320, 975, 375, kGrey, F::G9B, 26),

    // Port selection: Frame8 comes after "COM" so that it lies above it.
    button("Command33", "COM", 4080, 4200, 1815, 375, kNoColour, F::P9, 41),
    frame("Frame8", 3480, 3600, 2775, 1185, {}, false),
    option("Option1", "COM1", 240, 240, 1215, 255, 43, "Frame8"),
    option("Option2", "COM2", 1560, 240, 1095, 255, 44, "Frame8"),
    frame("Frame13", 120, 480, 2535, 615, "Frame8"),
    option("Option9", "19200", 120, 240, 1095, 255, 71, "Frame13"),
    option("Option10", "9600", 1440, 240, 975, 300, 72, "Frame13"),

    // The monitor band.
    frame("Frame9", 45, 4920, 6312, 1290),
    label("Label9", "TXD", 105, 210, 390, 285, F::G9, "Frame9", A::Right),
    line("Label11", 600, 180, 5610, 300, F::P10B),
    label("Label10", "RXD", 75, 555, 450, 300, F::G9, "Frame9", A::Right),
    line("Label12", 600, 540, 5616, 300, F::P10B),
    label("Label23", "STATUS", 120, 960, 735, 225, F::G8, "Frame9"),
    line("Label22", 930, 915, 5295, 300, F::P9B, 0xFF0000),
    button("Command34", "\u30c7\u30fc\u30bf\u3092\u8868\u793a\u3059\u308b", 6600, 5040, 1200, 375,
           kGrey, F::P9, 50, {}, false),
    button("Command44", "STATUS", 6480, 5640, 975, 255, kFunction, F::G8B, 54),
    button("Command46", "L-TIME", 7440, 5640, 975, 255, kFunction, F::G8B, 56),
    button("Command54", "TEMP", 8400, 5640, 975, 252, kFunction, F::G8B, 64),
    button("Command45", "MODE", 6480, 5880, 975, 255, kFunction, F::G8B, 55),
    button("Command47", "SETTING", 7440, 5880, 975, 255, kFunction, F::G8B, 57),
    button("Command52", "L-MODE", 8400, 5880, 975, 255, kFunction, F::G8B, 100),

    // The extended band.
    frame("Frame14", 120, 6735, 4695, 1200),
    label("Label15", "PC1", 120, 240, 735, 255, F::G9B, "Frame14"),
    button("Command64", "RGB", 960, 240, 975, 255, kFunction, F::G9, 81, "Frame14"),
    label("Label16", "PC2", 120, 480, 735, 255, F::G9B, "Frame14"),
    button("Command72", "RGB", 960, 480, 975, 255, kFunction, F::G9, 83, "Frame14"),
    button("Command74", "Component", 1920, 480, 1450, 255, kFunction, F::G9, 85, "Frame14"),
    button("Command73", "Scart", 3360, 480, 975, 255, kFunction, F::G9, 84, "Frame14"),
    label("Label24", "Video", 120, 720, 855, 255, F::G9B, "Frame14"),
    button("Command81", "Auto", 960, 720, 975, 255, kFunction, F::G9, 86, "Frame14"),
    button("Command82", "Video", 1920, 720, 975, 255, kFunction, F::G9, 87, "Frame14"),
    button("Command69", "S-Video", 2880, 720, 1095, 255, kFunction, F::G9, 82, "Frame14"),
    frame("Frame15", 120, 8040, 7215, 570),
    label("Label26", "CMD", 120, 240, 495, 255, F::G10, "Frame15"),
    {"Text1",
     ControlKind::TextBox,
     {},
     600,
     165,
     5055,
     345,
     kNoColour,
     kNoColour,
     F::G10B,
     92,
     "Frame15"},
    button("Command95", "SEND", 5760, 240, 735, 255, kOn, F::G9B, 93, "Frame15"),
    button("Command96", "CLS", 6480, 240, 615, 255, kOff, F::G9B, 94, "Frame15"),
});

constexpr auto kArrowOutline = std::to_array<LineSpec>({
    {"Line1", 1080, 2400, 1080, 2880},
    {"Line2", 2160, 2400, 2160, 2880},
    {"Line3", 3120, 2880, 3120, 3480},
    {"Line4", 2160, 3480, 2160, 3960},
    {"Line5", 1080, 3480, 1080, 3960},
    {"Line6", 120, 2880, 120, 3480},
    {"Line7", 1080, 2400, 2160, 2400},
    {"Line8", 120, 2880, 1080, 2880},
    {"Line9", 2160, 2880, 3120, 2880},
    {"Line10", 120, 3480, 1080, 3480},
    {"Line11", 1080, 3960, 2160, 3960},
    {"Line12", 2160, 3480, 3120, 3480},
});

struct SpokenName
{
    std::string_view key; // a control's name, or a caption of the view button
    std::string_view spoken;
};

// Groups are named as their titles say them; a button's name starts with its group, so
// that the seven "ON"s, the "+" and "-" pairs and the two "RGB"s stay apart when heard
// one after the other.
constexpr auto kSpokenNames = std::to_array<SpokenName>({
    {"Frame1", "Power"},
    {"Command17", "Power on"},
    {"Command18", "Power off"},
    {"Frame2", "Input mode set"},
    {"Command27", "Input PC1"},
    {"Command28", "Input PC2"},
    {"Command29", "Input Video"},
    {"Frame3", "Sound mute"},
    {"Command19", "Sound mute on"},
    {"Command20", "Sound mute off"},
    {"Frame4", "No show"},
    {"Command21", "No show on"},
    {"Command22", "No show off"},
    {"Frame7", "Freeze"},
    {"Command25", "Freeze on"},
    {"Command26", "Freeze off"},
    {"Frame6", "Menu"},
    {"Command23", "Menu on"},
    {"Command24", "Menu off"},
    {"Frame5", "AV size"},
    {"Command31", "AV size regular"},
    {"Command32", "AV size wide"},

    {"Command5", "Up"},
    {"Command9", "Left"},
    {"Command6", "Select"},
    {"Command8", "Right"},
    {"Command7", "Down"},
    {"Command1", "Volume up"},
    {"Command2", "Volume down"},
    {"Command15", "Brightness up"},
    {"Command35", "Brightness down"},
    {"Command48", "Zoom up"},
    {"Command49", "Zoom down"},
    {"Command50", "Keystone up"},
    {"Command51", "Keystone down"},

    {"Command56", "Key lock off"},
    {"Command57", "Remote control keys off"},
    {"Command58", "Projector keys off"},
    {"Command4", "Preset standard"},
    {"Command10", "Preset real"},
    {"Command11", "Preset cinema"},
    {"Command39", "Preset image 1"},
    {"Command40", "Preset image 2"},
    {"Command41", "Preset image 3"},
    {"Command42", "Preset image 4"},
    {"Command12", "Preset blackboard"},
    {"Command36", "Preset dynamic"},
    {"Image1", "VX37 logo"},
    {"Command13", "Auto image"},
    {"Command30", "Image"},
    {"Command14", "Presentation timer"},
    {"Command3", "Display clear"},
    {"Command16", "End"},

    {"Command33", "Serial port"},
    {"Frame8", "Port and speed"},
    {"Option1", "Port COM1"},
    {"Option2", "Port COM2"},
    {"Frame13", "Speed"},
    {"Option9", "19200 baud"},
    {"Option10", "9600 baud"},

    {"Frame9", "Monitor"},
    {"Label11", "Transmitted"},
    {"Label12", "Received"},
    {"Label22", "Status"},
    {"Command44", "Status query"},
    {"Command46", "Lamp time query"},
    {"Command54", "Temperature query"},
    {"Command45", "Mode query"},
    {"Command47", "Setting query"},
    {"Command52", "Lamp mode query"},

    {"Frame14", "Input signal"},
    {"Command64", "PC1 signal RGB"},
    {"Command72", "PC2 signal RGB"},
    {"Command74", "PC2 signal component"},
    {"Command73", "PC2 signal Scart"},
    {"Command81", "Video signal auto"},
    {"Command82", "Video signal video"},
    {"Command69", "Video signal S-Video"},
    {"Frame15", "Manual command"},
    {"Text1", "Command"},
    {"Command95", "Send command"},
    {"Command96", "Clear command"},
});

// The view button's captions say what a click will do.
constexpr auto kSpokenCaptions = std::to_array<SpokenName>({
    {"CLOSE", "Close service view"},
    {"\u30c7\u30fc\u30bf\u3092\u8868\u793a\u3059\u308b", "Show data"},
    {"\u30c7\u30fc\u30bf\u3092\u8868\u793a\u3057\u306a\u3044", "Hide data"},
});

template <std::size_t N>
std::string_view lookUp(const std::array<SpokenName, N>& table, std::string_view key)
{
    const auto found = std::find_if(table.begin(), table.end(),
                                    [&](const SpokenName& row) { return row.key == key; });
    return found == table.end() ? std::string_view() : found->spoken;
}

// "ＭＳ ゴシック" is the fixed-pitch face, "ＭＳ Ｐゴシック" the proportional one; both names
// are written in full-width letters.
constexpr std::string_view kGothic = "\uff2d\uff33 \u30b4\u30b7\u30c3\u30af";
constexpr std::string_view kPGothic = "\uff2d\uff33 \uff30\u30b4\u30b7\u30c3\u30af";

constexpr auto kFonts = std::to_array<FontSpec>({
    {F::G9B, kGothic, 9, true},
    {F::G9, kGothic, 9, false},
    {F::G8B, kGothic, 8.25, true},
    {F::G8, kGothic, 8.25, false},
    {F::G10B, kGothic, 9.75, true},
    {F::G10, kGothic, 9.75, false},
    {F::P9, kPGothic, 9, false},
    {F::P9B, kPGothic, 9, true},
    {F::P10B, kPGothic, 9.75, true},
});

} // namespace

std::span<const ControlSpec> controlInventory()
{
    return kControls;
}

std::span<const LineSpec> arrowOutline()
{
    return kArrowOutline;
}

std::span<const FontSpec> fontTable()
{
    return kFonts;
}

const ControlSpec* findControl(std::string_view name)
{
    const auto item = std::find_if(kControls.begin(), kControls.end(),
                                   [&](const ControlSpec& c) { return c.name == name; });
    return item == kControls.end() ? nullptr : &*item;
}

std::string_view spokenName(std::string_view control)
{
    return lookUp(kSpokenNames, control);
}

std::string_view spokenCaption(std::string_view caption)
{
    return lookUp(kSpokenCaptions, caption);
}

const FontSpec& fontSpec(FontKey key)
{
    if (key == F::Panel)
        key = kFormFont;
    return *std::find_if(kFonts.begin(), kFonts.end(),
                         [&](const FontSpec& f) { return f.key == key; });
}

} // namespace vx37
