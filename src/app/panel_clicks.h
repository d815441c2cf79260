#pragma once

#include <string_view>

namespace vx37 {

class Panel;

// A control's click handler, for the controls outside the button table ("END", "COM",
// the view button, "SEND", "CLS", the port and speed choices), or nullptr. Every view of
// the panel forwards clicks through this one list.
using PanelHandler = void (Panel::*)();
PanelHandler clickHandler(std::string_view control);

} // namespace vx37
