#pragma once

// What the server keeps per client address, free of sockets and clocks: how long an
// address that sent a wrong digest waits for its next greeting, and how many lines of a
// kind the log takes from it (log_limiter.h). Both tables are bounded.

#include "log_limiter.h"

#include <QString>

#include <cstdint>
#include <map>
#include <vector>

namespace vx37::pjlink {

using daemon::LogLimiter;

// An address waits kFirstMs after its first wrong digest before its next greeting, twice
// as long after each further one, up to kLongestMs. It is forgotten kForgetMs after its
// wait ends; of more than kMostAddresses, those due soonest are forgotten first.
class LoginPenalties
{
public:
    static constexpr int kFirstMs = 1000;
    static constexpr int kLongestMs = 32000;
    static constexpr int kForgetMs = 600000;
    static constexpr std::size_t kMostAddresses = 1024;

    void failed(const QString& address, std::int64_t now);
    void succeeded(const QString& address) { table_.erase(address); }
    // When the address may be greeted: now, or later.
    std::int64_t greetAt(const QString& address, std::int64_t now) const;

private:
    struct Penalty
    {
        int failures = 0;
        std::int64_t until = 0;
    };
    std::map<QString, Penalty> table_;
};

} // namespace vx37::pjlink
