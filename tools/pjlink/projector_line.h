#pragma once

#include "link/interval_timer.h"
#include "link/serial_control.h"

#include <QObject>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vx37::pjlink {

// The one owner of the projector's line. Every request of every client goes through one
// queue, and one frame is on the line at a time:
// - a status query is answered from a reading no older than kFreshMs; otherwise it joins
//   the same query waiting in the queue, or queues one;
// - a command goes out in its turn; once answered (or not), every reading is dropped, as
//   any of them may have changed;
// - a request that can no longer be answered by its deadline fails at once (the line is
//   busy), as does every request while the line is down;
// - an answer counts only when it has the form of the frame's answer; after a frame
//   without its own answer, the next goes out once the line has been quiet for
//   kDrainQuietMs, so that a late answer is not taken for the next frame's;
// - a poll every pollMs keeps the polled readings fresh.
// The line is down until a frame is answered, after a frame that got no reply in time,
// and while the device is gone or the port cannot be opened. While it is down, a probe
// (the first polled query) goes out every kProbeMs, the port opened first if need be.
class ProjectorLine : public QObject
{
    Q_OBJECT

public:
    static constexpr int kFreshMs = 1000;
    static constexpr int kDrainQuietMs = 50;
    static constexpr int kLongestDrainMs = 500;
    static constexpr int kProbeMs = 1000;
    // Less time than this before a deadline is not worth a frame.
    static constexpr int kLeastReplyMs = 100;
    // What a poll or a probe may take.
    static constexpr int kPollAnswerMs = 2000;

    using Clock = std::function<std::int64_t()>; // milliseconds
    // The reply, CR included, when it has the form of the frame's answer.
    using Reply = std::optional<std::string>;
    using Done = std::function<void(const Reply&)>;

    ProjectorLine(SerialControl& port, IntervalTimer& replyTimer, IntervalTimer& pollTimer,
                  Clock now, int pollMs, std::vector<std::string> polled,
                  QObject* parent = nullptr);

    // Opens the port and starts the poll.
    void start();

    // A status query's reply.
    void ask(const std::string& code, std::int64_t deadline, Done done);
    // A command's reply (ACK CR).
    void send(const std::string& code, std::int64_t deadline, Done done);

    bool isUp() const { return up_; }

signals:
    // A line fault, or the line back, for the log.
    void note(const QString& text, bool fault);
    // The line came up (a frame answered) or went down.
    void upChanged(bool up);

private:
    enum class Phase { Idle, Draining, Waiting };
    struct Waiter
    {
        std::int64_t deadline;
        Done done;
    };
    struct Job
    {
        std::string code;
        bool query;
        std::vector<Waiter> waiters;
    };

    void queue(const std::string& code, bool query, Waiter waiter);
    void pump();
    void transmit(const Job& job);
    void onComm();
    void onReplyTimer();
    // Ends the frame on the line with its reply; a text for down takes the line down.
    void finish(const Reply& reply, const QString& down);
    void goDown(const QString& why);
    void onPoll();
    void tell(const QString& text, bool fault = true);

    SerialControl& port_;
    IntervalTimer& replyTimer_;
    IntervalTimer& pollTimer_;
    Clock now_;
    int pollMs_;
    std::vector<std::string> polled_;
    std::deque<Job> queue_;
    Phase phase_ = Phase::Idle;
    bool pumping_ = false;
    bool drainFirst_ = false;
    std::int64_t drainBegan_ = 0;
    std::string received_;
    bool wholeWait_ = false; // the frame on the line waits its whole reply time-out
    bool up_ = false;
    QString lastTold_;
    struct Reading
    {
        std::string reply;
        std::int64_t at;
    };
    std::map<std::string, Reading, std::less<>> readings_;
};

} // namespace vx37::pjlink
