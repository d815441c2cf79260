#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace vx37 {

// How a button of the table sends its code.
enum class ButtonKind : std::uint8_t {
    P, // Click: send the code
    G, // Click: reply time-out 2000, display clear 2500, send (preset grid)
    S, // Click: reply time-out 5000, display clear 5500, send (input signal frame)
    M, // Click: send, then repeat period 200 and arrowMode 1 ("MENU" "ON", "A-IMAGE")
    H, // MouseDown/MouseUp: held button, sends on press and repeats until released
};

// What the press of a held button sets. An arrow keeps the repeat period it finds and
// takes its time-outs from arrowMode instead.
struct HoldSettings
{
    std::uint8_t repeatCode = 0; // row of the repeat table
    bool arrow = false;
    int repeatInterval = 0; // Timer1
    int replyTimeout = 0;   // Timer2
    int displayClear = 0;   // Timer4
};

struct ButtonRow
{
    std::string_view control; // design name, e.g. "Command17"
    std::string_view caption;
    std::string_view group;
    std::string_view code;
    ButtonKind kind;
    HoldSettings hold{}; // kind H only
};

// The 57 command buttons that send a fixed code, in the order of the panel's groups.
std::span<const ButtonRow> buttonTable();

// The row of a control, or nullptr for a control that is not in the table.
const ButtonRow* findButton(std::string_view control);

// The held button whose repeat-table row is repeatCode, or nullptr.
const ButtonRow* findHeldButton(std::uint8_t repeatCode);

// A reply time-out and the display clear that goes with it.
struct SendTimeouts
{
    int replyTimeout;
    int displayClear;
};

// What a click sets before it sends: the preset grid's (G) and the input signal frame's
// (S) intervals; nullptr for the kinds that set none.
const SendTimeouts* clickTimeoutsFor(ButtonKind kind);

// The time-outs an arrow press sets for arrowMode 1 and 3; other modes change nothing.
const SendTimeouts* arrowTimeoutsFor(std::uint8_t arrowMode);

// The reply time-out a button's send runs with in a panel just started, where nothing has
// changed the intervals yet: what its own click or press sets, else the design value.
int startReplyTimeout(const ButtonRow& row);

// The design intervals the release of a held button puts back.
inline constexpr int kDesignReplyTimeout = 500;
inline constexpr int kDesignDisplayClear = 1000;
inline constexpr int kDesignRepeatInterval = 200;
inline constexpr int kOptionFrameInterval = 5000;

// The intervals "SEND" sets before it sends: reply time-out, then display clear.
inline constexpr int kTypedReplyTimeout = 2000;
inline constexpr int kTypedDisplayClear = 2500;

} // namespace vx37
