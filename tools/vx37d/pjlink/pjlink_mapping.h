#pragma once

// What the VX37's answers mean in PJLink class 1, and which buttons a PJLink set presses:
// the bridge's mapping as tables, each fact written once. No code is written here: a
// button is named by its control (the button table has its code), a status query by the
// button that sends it.

#include <array>
#include <span>
#include <string>
#include <string_view>

namespace vx37::pjlink {

// The status queries the bridge asks.
enum class Query { Power, Input, LampHours, Lamps, Mute };

// The code of a status query.
std::string_view queryCode(Query query);

// The operating state (CR0) as POWR ? and ERST ? answer it.
struct PowerRow
{
    std::string_view key;  // the reply without its CR
    std::string_view powr; // 0 stand-by, 1 on, 2 cooling down, 3 warming up; or an error
    // fan, lamp, temperature, cover, filter, other: 0 no error known, 1 warning, 2 error
    std::string_view erst;
};

// The selected input (CR1) as INPT ? answers it.
struct InputRow
{
    std::string_view key;    // the reply without its CR
    std::string_view pjlink; // the PJLink input: type (1 RGB, 2 video, ...) and number
};

// The mute and signal state (CRA) as AVMT ? answers it.
struct MuteRow
{
    std::string_view key;
    std::string_view avmt; // 11 picture, 21 sound, 31 both muted, 30 none; or an error
};

// The lamps (CR7): one character per lamp in use, 1 lit, 0 not.
struct LampRow
{
    std::string_view key;
    std::string_view lit;
};

// What must hold before a set is sent, from the operating state.
enum class Guard {
    None,
    NotCooling, // a power-on while cooling down would be refused
    On,         // inputs and mutes take effect only while the projector is on
};

// A PJLink set: the buttons it presses, in order.
struct SetRow
{
    std::string_view body;      // POWR
    std::string_view parameter; // 1
    Guard guard;
    std::array<std::string_view, 2> controls; // the second may be empty
};

std::span<const PowerRow> powerTable();
std::span<const InputRow> inputTable();
std::span<const MuteRow> muteTable();
std::span<const LampRow> lampTable();
std::span<const SetRow> setTable();

// The row of a reply (CR included), or nullptr for a reply the table does not list.
const PowerRow* powerRow(std::string_view reply);
const InputRow* inputRow(std::string_view reply);
const MuteRow* muteRow(std::string_view reply);
const LampRow* lampRow(std::string_view reply);
// The row of a set, or nullptr when the parameter is not one the table lists.
const SetRow* setRow(std::string_view body, std::string_view parameter);

// INST ?: the inputs a set selects, blank-separated.
std::string selectableInputs();

} // namespace vx37::pjlink
