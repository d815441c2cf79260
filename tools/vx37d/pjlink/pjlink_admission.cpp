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

} // namespace vx37::pjlink
