#pragma once

#include <QString>

#include <cstdint>
#include <map>
#include <vector>

namespace vx37::daemon {

// Lines of one kind from one address (a key), for every front-end's log: the first kBurst
// of each kWindowMs as they come; those held back after them are counted, and told once
// the window is over.
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

} // namespace vx37::daemon
