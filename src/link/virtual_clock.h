#pragma once

#include "link/interval_timer.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace vx37 {

class VirtualClock;

// A timer driven by a VirtualClock instead of the event loop.
class VirtualTimer final : public IntervalTimer
{
public:
    void setInterval(int milliseconds) override;
    int interval() const override { return interval_; }
    void start() override;
    void stop() override { active_ = false; }
    bool isActive() const override { return active_; }

    // Milliseconds of virtual time at which a running timer fires next.
    std::int64_t dueAt() const { return dueAt_; }

private:
    friend class VirtualClock;
    VirtualTimer(VirtualClock& clock, int designInterval);
    void arm();

    VirtualClock& clock_;
    int interval_;
    bool active_ = false;
    std::int64_t dueAt_ = 0;
    std::uint64_t armedSequence_ = 0;
};

// Virtual time for tests: advancing it fires every due timer in time order (timers due
// at the same instant fire in the order they were armed), so timing rules are checked
// exactly and instantly.
class VirtualClock
{
public:
    VirtualClock() = default;
    VirtualClock(const VirtualClock&) = delete;
    VirtualClock& operator=(const VirtualClock&) = delete;

    VirtualTimer& createTimer(int designInterval);

    std::int64_t now() const { return now_; }
    void advance(std::int64_t milliseconds);
    void advanceTo(std::int64_t time);

private:
    friend class VirtualTimer;
    std::vector<std::unique_ptr<VirtualTimer>> timers_;
    std::int64_t now_ = 0;
    std::uint64_t nextSequence_ = 1;
};

} // namespace vx37
