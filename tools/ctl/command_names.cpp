#include "ctl/command_names.h"

#include "commands/button_table.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace vx37::ctl {

namespace {

// In the order of the button table; the panel group comes first in each name.
constexpr auto kButtonNames = std::to_array<ButtonName>({
    {"Command17", "power-on", "switch the projector on"},
    {"Command18", "power-off", "switch the projector off (it cools down, then stands by)"},
    {"Command27", "input-pc1", "select the input PC1"},
    {"Command28", "input-pc2", "select the input PC2"},
    {"Command29", "input-video", "select the input Video"},
    {"Command19", "sound-mute-on", "mute the sound"},
    {"Command20", "sound-mute-off", "bring the sound back"},
    {"Command21", "no-show-on", "blank the picture (NO SHOW)"},
    {"Command22", "no-show-off", "show the picture again"},
    {"Command25", "freeze-on", "freeze the picture"},
    {"Command26", "freeze-off", "let the picture move again"},
    {"Command23", "menu-on", "show the projector's menu"},
    {"Command24", "menu-off", "hide the menu"},
    {"Command31", "av-size-regular", "regular screen size (AV Size)"},
    {"Command32", "av-size-wide", "wide screen size (AV Size)"},
    {"Command5", "up", "menu cursor up"},
    {"Command7", "down", "menu cursor down"},
    {"Command9", "left", "menu cursor left"},
    {"Command8", "right", "menu cursor right"},
    {"Command6", "select", "select the menu item"},
    {"Command1", "volume-up", "volume up a step"},
    {"Command2", "volume-down", "volume down a step"},
    {"Command15", "brightness-up", "brightness up a step"},
    {"Command35", "brightness-down", "brightness down a step"},
    {"Command48", "zoom-in", "digital zoom in a step (D.Zoom +)"},
    {"Command49", "zoom-out", "digital zoom out a step (D.Zoom -)"},
    {"Command50", "keystone-up", "keystone correction up a step"},
    {"Command51", "keystone-down", "keystone correction down a step"},
    {"Command13", "a-image", "the A-IMAGE button"},
    {"Command30", "image", "the IMAGE button"},
    {"Command14", "p-timer", "the P-TIMER button"},
    {"Command3", "display-clear", "clear the projector's on-screen display"},
    {"Command56", "keys-lock-none", "remote control and keypad both work (R/C KEY OFF: NONE)"},
    {"Command57", "keys-lock-rc", "the remote control is locked (R/C KEY OFF: R/C)"},
    {"Command58", "keys-lock-key", "the projector's keypad is locked (R/C KEY OFF: KEY)"},
    {"Command4", "preset-stand", "picture preset STAND"},
    {"Command10", "preset-real", "picture preset REAL"},
    {"Command11", "preset-cinema", "picture preset CINEMA"},
    {"Command39", "preset-image1", "picture preset IMAGE1"},
    {"Command40", "preset-image2", "picture preset IMAGE2"},
    {"Command41", "preset-image3", "picture preset IMAGE3"},
    {"Command42", "preset-image4", "picture preset IMAGE4"},
    {"Command12", "preset-b-board", "picture preset B.Board"},
    {"Command36", "preset-dynamic", "picture preset Dynamic"},
    {"Command44", "status", "query the operating state (STATUS)"},
    {"Command45", "mode", "query the selected input (MODE)"},
    {"Command46", "lamp-time", "query the lamp hours (L-TIME)"},
    {"Command47", "setting", "query the picture reversal setting (SETTING)"},
    {"Command54", "temperatures", "query the three temperature sensors (TEMP)"},
    {"Command52", "lamp-mode", "query the lamp state and lamp mode (L-MODE)"},
    {"Command64", "signal-pc1-rgb", "input signal of PC1: RGB"},
    {"Command72", "signal-pc2-rgb", "input signal of PC2: RGB"},
    {"Command74", "signal-pc2-component", "input signal of PC2: Component"},
    {"Command73", "signal-pc2-scart", "input signal of PC2: Scart"},
    {"Command81", "signal-video-auto", "input signal of Video: Auto"},
    {"Command82", "signal-video-video", "input signal of Video: Video"},
    {"Command69", "signal-video-s-video", "input signal of Video: S-Video"},
});

constexpr auto kTypedQueryNames = std::to_array<TypedQueryName>({
    {"CRA", "mute-status", "query the mute and signal state"},
    {"CR9", "cr9", "query CR9, its reply shown as received"},
    {"CR PRESSURE", "pressure", "query the air pressure"},
});

constexpr std::string_view kRawName = "raw";

std::string lowered(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return result;
}

// Edits (insert, delete, replace, swap two neighbours) from one text to the other.
std::size_t editDistance(const std::string& a, const std::string& b)
{
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i)
        d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j)
        d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t replace = d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1);
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, replace});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[a.size()][b.size()];
}

} // namespace

std::span<const ButtonName> buttonNames()
{
    return kButtonNames;
}

std::span<const TypedQueryName> typedQueryNames()
{
    return kTypedQueryNames;
}

std::vector<std::string> closestNames(std::string_view unknown)
{
    constexpr std::size_t kShown = 3;
    // Some type the code a button sends instead of its name.
    for (const ButtonName& button : kButtonNames) {
        if (const ButtonRow* row = findButton(button.control); row && row->code == unknown)
            return {std::string(button.name)};
    }

    std::vector<std::string_view> names;
    for (const ButtonName& button : kButtonNames)
        names.push_back(button.name);
    for (const TypedQueryName& query : kTypedQueryNames)
        names.push_back(query.name);
    names.push_back(kRawName);

    const std::string typed = lowered(unknown);
    const std::size_t slips = std::max<std::size_t>(2, typed.size() / 3);
    std::vector<std::pair<std::size_t, std::string_view>> near;
    for (const std::string_view name : names) {
        const std::size_t distance = editDistance(typed, std::string(name));
        const bool part = typed.size() >= 3 && name.find(typed) != std::string_view::npos;
        if (distance <= slips || part)
            near.emplace_back(distance, name);
    }
    std::stable_sort(near.begin(), near.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> closest;
    for (std::size_t i = 0; i < near.size() && i < kShown; ++i)
        closest.emplace_back(near[i].second);
    return closest;
}

} // namespace vx37::ctl
