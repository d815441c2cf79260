#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vx37::ctl {

// The command-line name of a button of the panel's button table, keyed by its control.
// The code, kind and hold settings stay in the table; only the name and what the button
// does live here.
struct ButtonName
{
    std::string_view control; // e.g. "Command17"
    std::string_view name;    // e.g. "power-on"
    std::string_view does;
};

// The command-line name of a status query that has no button and is only typed.
struct TypedQueryName
{
    std::string_view code; // e.g. "CRA"
    std::string_view name;
    std::string_view does;
};

std::span<const ButtonName> buttonNames();
std::span<const TypedQueryName> typedQueryNames();

// The names closest to an unknown one (at most three, the closest first): a few typing
// slips away, or holding it as a part ("mute" finds "sound-mute-on").
std::vector<std::string> closestNames(std::string_view unknown);

} // namespace vx37::ctl
