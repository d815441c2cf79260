// The views: the service chord, the logo double-click and the view button change only
// the window's height and the view button.

#include "app/panel.h"

#include "link/interval_timer.h"

namespace vx37 {

void Panel::Form_KeyDown(int key, Qt::KeyboardModifiers modifiers)
{
    // Ctrl alone of Shift, Ctrl and Alt; keypad or other flags do not matter.
    const auto held = modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    if (key != Qt::Key_K || held != Qt::ControlModifier)
        return;
    setHeight(kServiceHeight);
    vars_.extendedPanel = 1;
    setCommand34(true, kCaptionClose);
}

void Panel::Image1_DblClick()
{
    if (vars_.extendedPanel != 1)
        return;
    setHeight(kFullHeight);
    setCommand34(true, kCaptionClose);
}

void Panel::Command34_Click()
{
    timers_.timer3.stop();
    vars_.extendedPanel = 0;
    if (form_.height >= kViewToggleThreshold) {
        setHeight(kCompactHeight);
        setCommand34(form_.command34Visible, kCaptionShowData);
    } else {
        setHeight(kDataHeight);
        setCommand34(form_.command34Visible, kCaptionHideData);
    }
    timers_.timer3.start();
}

} // namespace vx37
