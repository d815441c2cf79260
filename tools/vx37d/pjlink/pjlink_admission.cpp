#include "pjlink/pjlink_admission.h"

#include <algorithm>

namespace vx37::pjlink {

void LoginPenalties::failed(const QString& address, std::int64_t now)
{
    if (!table_.contains(address) && table_.size() >= kMostAddresses) {
        std::erase_if(table_,
                      [now](const auto& entry) { return entry.second.until + kForgetMs <= now; });
        if (table_.size() >= kMostAddresses)
            table_.erase(std::min_element(table_.begin(), table_.end(), [](auto& a, auto& b) {
                return a.second.until < b.second.until;
            }));
    }
    Penalty& penalty = table_[address];
    if (penalty.until + kForgetMs <= now)
        penalty.failures = 0;
    penalty.failures = std::min(penalty.failures + 1, 16);
    penalty.until =
        now + std::min<std::int64_t>(std::int64_t{kFirstMs} << (penalty.failures - 1), kLongestMs);
}

std::int64_t LoginPenalties::greetAt(const QString& address, std::int64_t now) const
{
    const auto found = table_.find(address);
    return found == table_.end() ? now : std::max(now, found->second.until);
}

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

} // namespace vx37::pjlink
