#pragma once

#include "app/panel.h"
#include "link/memory_serial_control.h"
#include "link/virtual_clock.h"

namespace vx37 {

// A panel on an in-memory port and virtual time, its timers at their design intervals:
// what tests, fuzzing and pictures of the window drive. Time moves only when the clock
// is advanced.
struct VirtualPanel
{
    MemorySerialControl comm;
    VirtualClock clock;
    VirtualTimer& timer1 = clock.createTimer(kDesignRepeatInterval);
    VirtualTimer& timer2 = clock.createTimer(kDesignReplyTimeout);
    VirtualTimer& timer3 = clock.createTimer(kOptionFrameInterval);
    VirtualTimer& timer4 = clock.createTimer(kDesignDisplayClear);
    Panel panel{comm, PanelTimers{timer1, timer2, timer3, timer4}};
};

} // namespace vx37
