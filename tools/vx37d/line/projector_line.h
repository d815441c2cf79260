#pragma once

#include "link/frame_exchange.h"
#include "link/interval_timer.h"
#include "link/serial_control.h"

#include <QObject>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vx37 {

// The one owner of the projector's line. Every request of every client goes through one
// queue, and one frame is on the line at a time, through the frame exchange
// (link/frame_exchange.h), which takes for each frame only its own answer:
// - a status query is answered from a reading no older than kFreshMs; otherwise it joins
//   the same query waiting in the queue, or queues one;
// - a command goes out in its turn; once answered (or not), every reading is dropped, as
//   any of them may have changed;
// - a request fails at once when its deadline passes, whether it waits in the queue or its
//   frame is on the line; the line itself moves on only when the frame's time is up, so a
//   late answer is never taken for the next frame's. A request with less than
//   kLeastReplyMs left when its turn comes is not sent at all;
// - every request fails at once while the line is down;
// - a poll every pollMs keeps the polled readings fresh; the queries given to pollAlso are
//   asked at their own slower pace, the first time as soon as the line is up.
// Every query's last answer is kept, with when it came, whoever asked; readingChanged()
// tells when one differs from the one before.
// The line is down until a frame is answered, after a frame that got no reply in time,
// and while the device is gone or the port cannot be opened. While it is down, a probe
// (the first polled query) goes out every kProbeMs, the port opened first if need be.
class ProjectorLine : public QObject
{
    Q_OBJECT

public:
    static constexpr int kFreshMs = 1000;
    static constexpr int kProbeMs = 1000;
    // Less time than this before a deadline is not worth a frame.
    static constexpr int kLeastReplyMs = 100;
    // What a poll or a probe may take.
    static constexpr int kPollAnswerMs = 2000;

    using Clock = std::function<std::int64_t()>; // milliseconds
    // The reply, CR included, when it has the form of the frame's answer.
    using Reply = std::optional<std::string>;
    using Done = std::function<void(const Reply&)>;

    // exchangeTimer: the frame exchange's; deadlineTimer: the clients' deadlines.
    ProjectorLine(SerialControl& port, IntervalTimer& exchangeTimer,
                  IntervalTimer& deadlineTimer, IntervalTimer& pollTimer, Clock now, int pollMs,
                  std::vector<std::string> polled, QObject* parent = nullptr);

    // Opens the port and starts the poll.
    void start();
    // A network port's connection came up: what the device server passes on first is
    // drained before the next frame.
    void lineOpened() { exchange_.lineOpened(); }

    // A status query's reply.
    void ask(const std::string& code, std::int64_t deadline, Done done);
    // A command's reply (ACK CR).
    void send(const std::string& code, std::int64_t deadline, Done done);
    // A client's own frame, in its turn and with no deadline: its reply as the projector
    // sends it, whatever its form, or nullopt when nothing came. What comes behind the
    // reply is dropped.
    void relay(const std::string& code, Done done);

    // Also polls these queries, each once its last answer is everyMs old.
    void pollAlso(std::vector<std::string> codes, int everyMs);

    bool isUp() const { return up_; }

    struct Reading
    {
        std::string reply; // CR included
        std::int64_t at;   // when it came, on the clock given
    };
    // The query's last answer, kept while the line is down (its age tells how stale it
    // is), or nullptr when it was never answered.
    const Reading* lastReading(std::string_view code) const;

signals:
    // A query's answer differs from its last one, or is its first.
    void readingChanged(const std::string& code);
    // A line fault, or the line back, for the log.
    void note(const QString& text, bool fault);
    // The line came up (a frame answered) or went down.
    void upChanged(bool up);

private:
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
        bool relayed = false;
    };

    void queue(Job job);
    void pump();
    void onReply(const FrameReply& reply);
    // Ends the frame on the line with its reply; a text for down takes the line down.
    void finish(const Reply& reply, const QString& down);
    void goDown(const QString& why);
    void onPoll();
    void pollSlow();
    void onDeadline();
    void armDeadline();
    void tell(const QString& text, bool fault = true);

    SerialControl& port_;
    FrameExchange exchange_;
    IntervalTimer& deadlineTimer_;
    IntervalTimer& pollTimer_;
    Clock now_;
    int pollMs_;
    std::vector<std::string> polled_;
    std::deque<Job> queue_;
    std::optional<Job> onLine_; // the job whose frame is on the line
    bool pumping_ = false;
    bool up_ = false;
    QString lastTold_;
    std::vector<std::string> slowPolled_;
    int slowPollMs_ = 0;
    // Fresh answers, dropped by a command or a loss; the last answers, kept.
    std::map<std::string, Reading, std::less<>> readings_;
    std::map<std::string, Reading, std::less<>> lastReadings_;
};

} // namespace vx37
