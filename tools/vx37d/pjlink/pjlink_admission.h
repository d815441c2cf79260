#pragma once

// What the server keeps per client address, free of sockets and clocks: how long an
// address that sent a wrong digest waits for its next greeting, and how many lines of a
// kind the log takes from it. Both tables are bounded.

#include <QString>

#include <cstdint>
#include <map>
#include <vector>

namespace vx37::pjlink {

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

// Lines of one kind from one address (a key): the first kBurst of each kWindowMs as they
// come; those held back after them are counted, and told once the window is over.
class LogLimiter
{
public:
    static constexpr int kBurst = 30;
    static constexpr int kWindowMs = 60000;
    static constexpr std::size_t kMostKeys = 1024;

    // Whether to log a line of this key now.
    bool admit(const QString& key, std::int64_t now);
    // For each window over with lines held back: "KEY: N more lines held back".
    std::vector<QString> ended(std::int64_t now);
    bool empty() const { return table_.empty() && told_.empty() && overflow_ == 0; }

private:
    struct Window
    {
        std::int64_t began = 0;
        int shown = 0;
        int held = 0;
    };
    void tell(const QString& key, const Window& window);

    std::map<QString, Window> table_;
    std::vector<QString> told_;
    int overflow_ = 0; // held back for want of room in the table
};

} // namespace vx37::pjlink
