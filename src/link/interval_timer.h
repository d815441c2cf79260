#pragma once

#include <functional>

namespace vx37 {

// One of the panel's interval timers (Timer1..Timer4). Once started it fires every
// interval until stopped. Starting a running timer, or changing the interval of a
// running timer, restarts its countdown from that moment.
class IntervalTimer
{
public:
    virtual ~IntervalTimer() = default;

    virtual void setInterval(int milliseconds) = 0;
    virtual int interval() const = 0;
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;

    // The tick handler runs on the user-interface thread each time the timer fires.
    void setTickHandler(std::function<void()> handler) { tickHandler_ = std::move(handler); }

protected:
    void tick()
    {
        if (tickHandler_)
            tickHandler_();
    }

private:
    std::function<void()> tickHandler_;
};

} // namespace vx37
