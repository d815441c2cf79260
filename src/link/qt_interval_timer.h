#pragma once

#include "link/interval_timer.h"

#include <QTimer>

namespace vx37 {

// IntervalTimer on a precise QTimer: the arrows can repeat every 5 ms, which a coarse
// timer would stretch by up to 5 %.
class QtIntervalTimer final : public IntervalTimer
{
public:
    explicit QtIntervalTimer(int designInterval);

    void setInterval(int milliseconds) override;
    int interval() const override { return timer_.interval(); }
    void start() override { timer_.start(); }
    void stop() override { timer_.stop(); }
    bool isActive() const override { return timer_.isActive(); }

private:
    QTimer timer_;
};

} // namespace vx37
