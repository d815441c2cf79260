#include "app/panel_clicks.h"

#include "app/panel.h"

#include <utility>

namespace vx37 {

PanelHandler clickHandler(std::string_view control)
{
    static constexpr std::pair<std::string_view, PanelHandler> kClicks[] = {
        {"Command16", &Panel::Command16_Click}, {"Command33", &Panel::Command33_Click},
        {"Command34", &Panel::Command34_Click}, {"Command95", &Panel::Command95_Click},
        {"Command96", &Panel::Command96_Click}, {"Option1", &Panel::Option1_Click},
        {"Option2", &Panel::Option2_Click},     {"Option9", &Panel::Option9_Click},
        {"Option10", &Panel::Option10_Click}};
    for (const auto& [name, handler] : kClicks)
        if (name == control)
            return handler;
    return nullptr;
}

} // namespace vx37
