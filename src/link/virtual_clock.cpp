#include "link/virtual_clock.h"

#include <algorithm>

namespace vx37 {

VirtualTimer::VirtualTimer(VirtualClock& clock, int designInterval)
    : clock_(clock), interval_(designInterval)
{
}

void VirtualTimer::setInterval(int milliseconds)
{
    interval_ = milliseconds;
    if (active_)
        arm();
}

void VirtualTimer::start()
{
    active_ = true;
    arm();
}

void VirtualTimer::arm()
{
    // A zero interval would fire forever at one instant; like an idle QTimer it waits
    // at least until the next moment.
    dueAt_ = clock_.now_ + std::max(interval_, 1);
    armedSequence_ = clock_.nextSequence_++;
}

VirtualTimer& VirtualClock::createTimer(int designInterval)
{
    timers_.push_back(std::unique_ptr<VirtualTimer>(new VirtualTimer(*this, designInterval)));
    return *timers_.back();
}

void VirtualClock::advance(std::int64_t milliseconds)
{
    advanceTo(now_ + milliseconds);
}

void VirtualClock::advanceTo(std::int64_t time)
{
    for (;;) {
        VirtualTimer* next = nullptr;
        for (auto& timer : timers_) {
            if (!timer->active_ || timer->dueAt_ > time)
                continue;
            if (!next || timer->dueAt_ < next->dueAt_ ||
                (timer->dueAt_ == next->dueAt_ && timer->armedSequence_ < next->armedSequence_))
                next = timer.get();
        }
        if (!next)
            break;
        now_ = next->dueAt_;
        next->arm(); // a periodic timer counts its next period from this firing
        next->tick();
    }
    now_ = std::max(now_, time);
}

} // namespace vx37
