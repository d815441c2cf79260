#pragma once

// What the benchmarks share: the figures they print and small waits on the event loop.

#include "sim/sim_options.h"
#include "table_button.h"

#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string_view>
#include <vector>

namespace vx37::bench {

using testing::tableButton;

// The smallest value that at least a share p of the values do not exceed; NaN for none.
inline double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return NAN;
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<std::size_t>(std::ceil(p * values.size()));
    return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

inline double median(const std::vector<double>& values)
{
    return percentile(values, 0.5);
}

inline const char* verdict(bool met)
{
    return met ? "met" : "MISSED";
}

// The simulator of a benchmark that serves it on a thread of its own: its link in dir, no
// transcript, the projector on.
inline sim::SimOptions quietSimOptions(const QTemporaryDir& dir)
{
    sim::SimOptions options;
    options.link = dir.filePath(QStringLiteral("vx37-com1")).toStdString();
    options.transcript = false;
    options.projector.power = sim::Power::On;
    return options;
}

inline void runEventLoopFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// What the simulator's thread saw, stamped as it saw it: one stamp per frame the panel sent
// (each ends in CR) and one per reply written. Safe to use from any thread.
class WireLog
{
public:
    virtual ~WireLog() = default;

    void frameRead(std::int64_t ns, std::string_view bytes)
    {
        const auto frames = std::count(bytes.begin(), bytes.end(), '\r');
        std::size_t count = 0;
        {
            std::lock_guard lock(mutex_);
            frames_.insert(frames_.end(), static_cast<std::size_t>(frames), ns);
            count = frames_.size();
        }
        changed_.notify_all();
        framesArrived(count);
    }
    void replyWritten(std::int64_t ns)
    {
        std::lock_guard lock(mutex_);
        writes_.push_back(ns);
    }

    std::size_t frameCount()
    {
        std::lock_guard lock(mutex_);
        return frames_.size();
    }
    std::size_t writeCount()
    {
        std::lock_guard lock(mutex_);
        return writes_.size();
    }
    std::int64_t frame(std::size_t index)
    {
        std::lock_guard lock(mutex_);
        return index < frames_.size() ? frames_[index] : -1;
    }
    std::int64_t write(std::size_t index)
    {
        std::lock_guard lock(mutex_);
        return index < writes_.size() ? writes_[index] : -1;
    }
    std::vector<std::int64_t> framesFrom(std::size_t index)
    {
        std::lock_guard lock(mutex_);
        return {frames_.begin() + static_cast<std::ptrdiff_t>(std::min(index, frames_.size())),
                frames_.end()};
    }
    // Waits (blocking this thread) for frame number index; its time, or -1.
    std::int64_t waitForFrame(std::size_t index, int timeoutMs)
    {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                               [&] { return frames_.size() > index; }))
            return -1;
        return frames_[index];
    }

protected:
    // On the simulator's thread, after the frames of a read are logged; count in all.
    virtual void framesArrived(std::size_t count) { (void)count; }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::int64_t> frames_;
    std::vector<std::int64_t> writes_;
};

} // namespace vx37::bench
