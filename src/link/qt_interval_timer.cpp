#include "link/qt_interval_timer.h"

namespace vx37 {

QtIntervalTimer::QtIntervalTimer(int designInterval)
{
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(designInterval);
    QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { tick(); });
}

void QtIntervalTimer::setInterval(int milliseconds)
{
    // start(ms) both sets the interval and restarts a running countdown, which is the
    // behaviour every caller relies on; a stopped timer stays stopped.
    if (timer_.isActive())
        timer_.start(milliseconds);
    else
        timer_.setInterval(milliseconds);
}

} // namespace vx37
