#include "commands/button_table.h"

#include <algorithm>
#include <array>

namespace vx37 {

namespace {

using K = ButtonKind;

constexpr HoldSettings held(std::uint8_t code, int repeat, int reply, int clear)
{
    return {code, false, repeat, reply, clear};
}
constexpr HoldSettings arrow(std::uint8_t code)
{
    return {code, true, 0, 0, 0};
}

constexpr std::array kButtons = std::to_array<ButtonRow>({
    {"Command17", "ON", "POWER", "C00", K::P},
    {"Command18", "OFF", "POWER", "C01", K::P},
    {"Command27", "PC1", "INPUT MODE SET", "C05", K::P},
    {"Command28", "PC2", "INPUT MODE SET", "C06", K::P},
    {"Command29", "Video", "INPUT MODE SET", "C07", K::P},
    {"Command19", "ON", "SOUND MUTE", "C0B", K::P},
    {"Command20", "OFF", "SOUND MUTE", "C0C", K::P},
    {"Command21", "ON", "NO SHOW", "C0D", K::P},
    {"Command22", "OFF", "NO SHOW", "C0E", K::P},
    {"Command25", "ON", "FREEZE", "C43", K::P},
    {"Command26", "OFF", "FREEZE", "C44", K::P},
    {"Command23", "ON", "MENU", "C1C", K::M},
    {"Command24", "OFF", "MENU", "C1D", K::P},
    {"Command31", "Regular", "AV Size", "C0F", K::P},
    {"Command32", "Wide", "AV Size", "C10", K::P},
    {"Command5", "\u2191", "arrow cluster", "C3C", K::H, arrow(3)},
    {"Command7", "\u2193", "arrow cluster", "C3D", K::H, arrow(4)},
    {"Command9", "\u2190", "arrow cluster", "C3B", K::H, arrow(5)},
    {"Command8", "\u2192", "arrow cluster", "C3A", K::H, arrow(6)},
    {"Command6", "SELECT", "arrow cluster", "C3F", K::H, held(13, 500, 200, 245)},
    {"Command1", "+", "VOL", "C09", K::H, held(1, 250, 200, 245)},
    {"Command2", "-", "VOL", "C0A", K::H, held(2, 250, 200, 245)},
    {"Command15", "+", "Brightness", "C20", K::H, held(7, 50, 25, 25)},
    {"Command35", "-", "Brightness", "C21", K::H, held(8, 50, 25, 25)},
    {"Command48", "+", "D.Zoom", "C30", K::H, held(17, 250, 200, 245)},
    {"Command49", "-", "D.Zoom", "C31", K::H, held(18, 250, 200, 245)},
    {"Command50", "+", "Keystone", "C8E", K::H, held(19, 250, 200, 245)},
    {"Command51", "-", "Keystone", "C8F", K::H, held(20, 250, 200, 245)},
    {"Command13", "A-IMAGE", "right column", "C89", K::M},
    {"Command30", "IMAGE", "right column", "C27", K::P},
    {"Command14", "P-TIMER", "right column", "C8A", K::P},
    {"Command3", "DISPLAY CLEAR", "right column", "C1E", K::P},
    {"Command56", "NONE", "R/C KEY OFF", "CF KEYDIS NONE", K::P},
    {"Command57", "R/C", "R/C KEY OFF", "CF KEYDIS RC", K::P},
    {"Command58", "KEY", "R/C KEY OFF", "CF KEYDIS KEY", K::P},
    {"Command4", "STAND", "preset grid", "C11", K::G},
    {"Command10", "REAL", "preset grid", "C12", K::G},
    {"Command11", "CINEMA", "preset grid", "C13", K::G},
    {"Command39", "IMAGE1", "preset grid", "C14", K::G},
    {"Command40", "IMAGE2", "preset grid", "C15", K::G},
    {"Command41", "IMAGE3", "preset grid", "C16", K::G},
    {"Command42", "IMAGE4", "preset grid", "C17", K::G},
    {"Command12", "B.Board", "preset grid", "C18", K::G},
    {"Command36", "Dynamic", "preset grid", "C19", K::G},
    {"Command44", "STATUS", "status query buttons", "CR0", K::P},
    {"Command45", "MODE", "status query buttons", "CR1", K::P},
    {"Command46", "L-TIME", "status query buttons", "CR3", K::P},
    {"Command47", "SETTING", "status query buttons", "CR4", K::P},
    {"Command54", "TEMP", "status query buttons", "CR6", K::P},
    {"Command52", "L-MODE", "status query buttons", "CR7", K::P},
    {"Command64", "RGB", "input signal PC1", "CF INPUT1 ANALOG", K::S},
    {"Command72", "RGB", "input signal PC2", "C25", K::S},
    {"Command74", "Component", "input signal PC2", "C24", K::S},
    {"Command73", "Scart", "input signal PC2", "C26", K::S},
    {"Command81", "Auto", "input signal Video", "C32", K::S},
    {"Command82", "Video", "input signal Video", "C33", K::S},
    {"Command69", "S-Video", "input signal Video", "C34", K::S},
});

static_assert(kButtons.size() == 57);

constexpr SendTimeouts kPresetGrid{2000, 2500};
constexpr SendTimeouts kInputSignalFrame{5000, 5500};
constexpr SendTimeouts kArrowMode1{150, 190};
constexpr SendTimeouts kArrowMode3{5, 5};

} // namespace

std::span<const ButtonRow> buttonTable()
{
    return kButtons;
}

const ButtonRow* findButton(std::string_view control)
{
    const auto row = std::find_if(kButtons.begin(), kButtons.end(),
                                  [&](const ButtonRow& r) { return r.control == control; });
    return row == kButtons.end() ? nullptr : &*row;
}

const ButtonRow* findHeldButton(std::uint8_t repeatCode)
{
    if (repeatCode == 0)
        return nullptr;
    const auto row = std::find_if(kButtons.begin(), kButtons.end(), [&](const ButtonRow& r) {
        return r.kind == ButtonKind::H && r.hold.repeatCode == repeatCode;
    });
    return row == kButtons.end() ? nullptr : &*row;
}

const SendTimeouts* clickTimeoutsFor(ButtonKind kind)
{
    switch (kind) {
    case ButtonKind::G:
        return &kPresetGrid;
    case ButtonKind::S:
        return &kInputSignalFrame;
    default:
        return nullptr;
    }
}

const SendTimeouts* arrowTimeoutsFor(std::uint8_t arrowMode)
{
    switch (arrowMode) {
    case 1:
        return &kArrowMode1;
    case 3:
        return &kArrowMode3;
    default:
        return nullptr;
    }
}

int startReplyTimeout(const ButtonRow& row)
{
    if (const SendTimeouts* click = clickTimeoutsFor(row.kind))
        return click->replyTimeout;
    // An arrow takes its time-outs from arrowMode, which is 0 at start: no change.
    if (row.kind == ButtonKind::H && !row.hold.arrow)
        return row.hold.replyTimeout;
    return kDesignReplyTimeout;
}

} // namespace vx37
