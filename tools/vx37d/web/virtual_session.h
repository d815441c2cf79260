#pragma once

#include "link/virtual_clock.h"
#include "web/panel_session.h"

namespace vx37::web {

// A session on the line in virtual time, its timers at their design intervals: what tests
// and fuzzing drive. Time moves only when the clock is advanced.
struct VirtualSession
{
    VirtualSession(ProjectorLine& line, VirtualClock& clock)
        : session(
              line, QStringLiteral("/dev/ttyS0"),
              {{clock.createTimer(kDesignRepeatInterval), clock.createTimer(kDesignReplyTimeout),
                clock.createTimer(kOptionFrameInterval), clock.createTimer(kDesignDisplayClear)},
               clock.createTimer(PanelSession::kHeartbeatMs),
               clock.createTimer(PanelSession::kIdleMs)})
    {
    }

    PanelSession session;
};

} // namespace vx37::web
