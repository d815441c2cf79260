#pragma once

// What the benchmarks share: the figures they print and small waits on the event loop.

#include "table_button.h"

#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cmath>
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

inline void runEventLoopFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace vx37::bench
