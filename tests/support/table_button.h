#pragma once

#include "app/form_state.h"
#include "commands/button_table.h"

#include <QtGlobal>

#include <string>
#include <string_view>

namespace vx37::testing {

// The row of a table button by its control name; a test naming no such button is a mistake.
inline const ButtonRow& tableButton(std::string_view control)
{
    const ButtonRow* row = findButton(control);
    if (!row)
        qFatal("no button %s in the table", std::string(control).c_str());
    return *row;
}

// A 1920 x 1080 screen and the window as designed with a typical frame, in twips.
inline constexpr ScreenMetrics kTestScreen{1920 * 15, 1080 * 15, 9495 + 2 * 60, 8730 + 450};

} // namespace vx37::testing
