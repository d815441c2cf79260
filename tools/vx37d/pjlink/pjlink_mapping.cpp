#include "pjlink/pjlink_mapping.h"

#include "commands/button_table.h"
#include "replies/reply_forms.h"

#include <algorithm>

namespace vx37::pjlink {

namespace {

// The operating state: every key the panel decodes.
constexpr std::array kPower = std::to_array<PowerRow>({
    {"00", "1", "000000"},
    {"80", "0", "000000"},
    {"40", "3", "000000"},
    {"20", "2", "000000"},
    {"24", "2", "000000"},
    {"08", "1", "001000"}, // temperature warning
    {"02", "1", "000000"},
    {"04", "0", "000000"},    // lamp off by power management
    {"28", "2", "002000"},    // temperature warning, cooling down
    {"88", "0", "001000"},    // temperature warning, recovered
    {"21", "2", "020000"},    // all lamps failed, cooling down
    {"81", "0", "020000"},    // all lamps failed, stand-by
    {"10", "ERR4", "000002"}, // power failure
});

// Input mode 4 is an input the projector reports and no button selects: INPT ? names it
// as a second video input, which INST does not list and INPT 22 does not select.
constexpr std::array kInputs = std::to_array<InputRow>({
    {"1", "11"},
    {"2", "12"},
    {"3", "21"},
    {"4", "22"},
});

constexpr std::array kMutes = std::to_array<MuteRow>({
    {"00", "30"},
    {"01", "11"},
    {"02", "21"},
    {"03", "31"},
    {"80", "30"},   // no signal: nothing muted
    {"FF", "ERR3"}, // stand-by: the projector does not say
});

constexpr std::array kLamps = std::to_array<LampRow>({
    {"00", "00"},
    {"01", "10"},
    {"02", "01"},
    {"03", "11"},
    {"10", "0"},
    {"11", "1"},
    {"20", "0"},
    {"22", "1"},
});

// Power, the three inputs, picture mute ("NO SHOW"), sound mute, and both.
constexpr std::array kSets = std::to_array<SetRow>({
    {"POWR", "1", Guard::NotCooling, {"Command17"}},
    {"POWR", "0", Guard::None, {"Command18"}},
    {"INPT", "11", Guard::On, {"Command27"}},
    {"INPT", "12", Guard::On, {"Command28"}},
    {"INPT", "21", Guard::On, {"Command29"}},
    {"AVMT", "11", Guard::On, {"Command21"}},
    {"AVMT", "10", Guard::On, {"Command22"}},
    {"AVMT", "21", Guard::On, {"Command19"}},
    {"AVMT", "20", Guard::On, {"Command20"}},
    {"AVMT", "31", Guard::On, {"Command21", "Command19"}},
    {"AVMT", "30", Guard::On, {"Command22", "Command20"}},
});

template <typename Row> const Row* rowOf(std::span<const Row> table, std::string_view reply)
{
    const std::string_view key = replyBody(reply);
    const auto found =
        std::find_if(table.begin(), table.end(), [key](const Row& row) { return row.key == key; });
    return found == table.end() ? nullptr : &*found;
}

std::string_view buttonCode(std::string_view control)
{
    return findButton(control)->code;
}

} // namespace

std::string_view queryCode(Query query)
{
    switch (query) {
    case Query::Power:
        return buttonCode("Command44"); // STATUS
    case Query::Input:
        return buttonCode("Command45"); // MODE
    case Query::LampHours:
        return buttonCode("Command46"); // L-TIME
    case Query::Lamps:
        return buttonCode("Command52"); // L-MODE
    case Query::Mute:
        break;
    }
    // Typed only: no button sends it.
    return "CRA";
}

std::span<const PowerRow> powerTable()
{
    return kPower;
}

std::span<const InputRow> inputTable()
{
    return kInputs;
}

std::span<const MuteRow> muteTable()
{
    return kMutes;
}

std::span<const LampRow> lampTable()
{
    return kLamps;
}

std::span<const SetRow> setTable()
{
    return kSets;
}

const PowerRow* powerRow(std::string_view reply)
{
    return rowOf(powerTable(), reply);
}

const InputRow* inputRow(std::string_view reply)
{
    return rowOf(inputTable(), reply);
}

const MuteRow* muteRow(std::string_view reply)
{
    return rowOf(muteTable(), reply);
}

const LampRow* lampRow(std::string_view reply)
{
    return rowOf(lampTable(), reply);
}

const SetRow* setRow(std::string_view body, std::string_view parameter)
{
    const auto found = std::find_if(kSets.begin(), kSets.end(), [&](const SetRow& row) {
        return row.body == body && row.parameter == parameter;
    });
    return found == kSets.end() ? nullptr : &*found;
}

std::string selectableInputs()
{
    std::string inputs;
    for (const SetRow& row : kSets) {
        if (row.body != "INPT")
            continue;
        if (!inputs.empty())
            inputs += ' ';
        inputs += row.parameter;
    }
    return inputs;
}

} // namespace vx37::pjlink
