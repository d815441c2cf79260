#include "log_limiter.h"

namespace vx37::daemon {

bool LogLimiter::admit(const QString& key, std::int64_t now)
{
    auto found = table_.find(key);
    if (found == table_.end()) {
        if (table_.size() >= kMostKeys) {
            for (const QString& summary : ended(now))
                told_.push_back(summary);
            if (table_.size() >= kMostKeys) {
                ++overflow_;
                return false;
            }
        }
        found = table_.emplace(key, Window{now, 0, 0}).first;
    } else if (now - found->second.began >= kWindowMs) {
        tell(key, found->second);
        found->second = {now, 0, 0};
    }
    Window& window = found->second;
    if (window.shown < kBurst) {
        ++window.shown;
        return true;
    }
    ++window.held;
    return false;
}

std::vector<QString> LogLimiter::ended(std::int64_t now)
{
    for (auto entry = table_.begin(); entry != table_.end();) {
        if (now - entry->second.began < kWindowMs) {
            ++entry;
            continue;
        }
        tell(entry->first, entry->second);
        entry = table_.erase(entry);
    }
    if (overflow_ > 0)
        told_.push_back(
            QStringLiteral("%1 more lines held back: too many addresses at once").arg(overflow_));
    overflow_ = 0;
    std::vector<QString> told;
    told.swap(told_);
    return told;
}

void LogLimiter::tell(const QString& key, const Window& window)
{
    if (window.held > 0)
        told_.push_back(QStringLiteral("%1: %2 more such lines held back in %3 s")
                            .arg(key)
                            .arg(window.held)
                            .arg(kWindowMs / 1000));
}

} // namespace vx37::daemon
