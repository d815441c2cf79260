#include "pjlink/projector_line.h"

#include "commands/button_table.h"
#include "commands/command_frame.h"
#include "commands/monitor_text.h"
#include "replies/reply_forms.h"

#include <algorithm>
#include <utility>

namespace vx37::pjlink {

namespace {

// More than this without a CR is no answer of the projector's.
constexpr std::size_t kLongestReply = 64;

// The reply time-out the panel gives a code: its button's, else a typed command's.
int replyTimeoutOf(std::string_view code)
{
    for (const ButtonRow& row : buttonTable()) {
        if (row.code == code)
            return startReplyTimeout(row);
    }
    return kTypedReplyTimeout;
}

// Bytes as the monitor lines show them, for a note.
QString shown(std::string_view bytes)
{
    return QString::fromStdString(monitorTextForMessage(bytes));
}

QString code(const std::string& code)
{
    return QString::fromStdString(code);
}

} // namespace

ProjectorLine::ProjectorLine(SerialControl& port, IntervalTimer& replyTimer,
                             IntervalTimer& pollTimer, Clock now, int pollMs,
                             std::vector<std::string> polled, QObject* parent)
    : QObject(parent), port_(port), replyTimer_(replyTimer), pollTimer_(pollTimer),
      now_(std::move(now)), pollMs_(pollMs), polled_(std::move(polled))
{
    replyTimer_.setTickHandler([this] { onReplyTimer(); });
    pollTimer_.setTickHandler([this] { onPoll(); });
    connect(&port_, &SerialControl::comm, this, &ProjectorLine::onComm);
    connect(&port_, &SerialControl::deviceLost, this, [this](const QString& text) {
        // Told whatever the line's state: a connection that never came up says why here.
        tell(text + QStringLiteral(" PJLink requests get ERR3 until the projector answers "
                                   "again."));
        replyTimer_.stop();
        if (phase_ == Phase::Waiting) {
            finish(std::nullopt, text);
            return;
        }
        phase_ = Phase::Idle; // a drain: the line it waited on is gone
        goDown(text);
    });
}

void ProjectorLine::start()
{
    pollTimer_.setInterval(kProbeMs);
    pollTimer_.start();
    onPoll();
}

void ProjectorLine::ask(const std::string& code, std::int64_t deadline, Done done)
{
    if (const auto reading = readings_.find(code);
        reading != readings_.end() && now_() - reading->second.at <= kFreshMs) {
        done(reading->second.reply);
        return;
    }
    if (!up_) {
        done(std::nullopt);
        return;
    }
    queue(code, true, {deadline, std::move(done)});
}

void ProjectorLine::send(const std::string& code, std::int64_t deadline, Done done)
{
    if (!up_) {
        done(std::nullopt);
        return;
    }
    queue(code, false, {deadline, std::move(done)});
}

void ProjectorLine::queue(const std::string& code, bool query, Waiter waiter)
{
    if (query) {
        const auto same = std::find_if(queue_.begin(), queue_.end(), [&](const Job& job) {
            return job.query && job.code == code;
        });
        if (same != queue_.end()) {
            same->waiters.push_back(std::move(waiter));
            return;
        }
    }
    queue_.push_back({code, query, {std::move(waiter)}});
    pump();
}

void ProjectorLine::pump()
{
    // A request that fails here may queue the next one of its client: it waits its turn.
    if (pumping_)
        return;
    pumping_ = true;
    while (phase_ == Phase::Idle && !queue_.empty()) {
        const std::int64_t now = now_();
        Job& job = queue_.front();
        std::vector<Waiter> late;
        std::erase_if(job.waiters, [&](Waiter& waiter) {
            if (waiter.deadline - now >= kLeastReplyMs)
                return false;
            late.push_back(std::move(waiter));
            return true;
        });
        if (job.waiters.empty()) {
            queue_.pop_front();
        } else if (drainFirst_) {
            phase_ = Phase::Draining;
            port_.input();
            drainBegan_ = now;
            replyTimer_.setInterval(kDrainQuietMs);
            replyTimer_.start();
        } else {
            transmit(job);
        }
        for (const Waiter& waiter : late)
            waiter.done(std::nullopt);
    }
    pumping_ = false;
}

void ProjectorLine::transmit(const Job& job)
{
    const std::int64_t now = now_();
    std::int64_t deadline = job.waiters.front().deadline;
    for (const Waiter& waiter : job.waiters)
        deadline = std::min(deadline, waiter.deadline);
    // What came unasked answers nothing that goes out now.
    port_.input();
    received_.clear();
    port_.output(buildFrame({}, job.code));
    phase_ = Phase::Waiting;
    const int timeout = replyTimeoutOf(job.code);
    wholeWait_ = deadline - now >= timeout;
    replyTimer_.setInterval(static_cast<int>(std::min<std::int64_t>(timeout, deadline - now)));
    replyTimer_.start();
}

void ProjectorLine::onComm()
{
    if (port_.commEvent() != SerialControl::kEventReceive)
        return;
    const std::string piece = port_.input();
    if (piece.empty())
        return;
    if (phase_ == Phase::Draining) {
        // A line that never falls quiet is drained no longer: the forms will tell.
        if (now_() - drainBegan_ < kLongestDrainMs)
            replyTimer_.start();
        return;
    }
    if (phase_ != Phase::Waiting)
        return;
    received_ += piece;
    const auto cr = received_.find('\r');
    if (cr == std::string::npos) {
        if (received_.size() > kLongestReply) {
            replyTimer_.stop();
            tell(QStringLiteral("no end to the reply to %1: %2")
                     .arg(code(queue_.front().code), shown(received_)));
            finish(std::nullopt, {});
        }
        return;
    }
    replyTimer_.stop();
    const std::string reply = received_.substr(0, cr + 1);
    if (!isAnswerTo(queue_.front().code, reply)) {
        tell(QStringLiteral("unexpected reply to %1: \"%2\"")
                 .arg(code(queue_.front().code), shown(reply)));
        finish(std::nullopt, {});
        return;
    }
    // Something behind the answer: let it pass before the next frame.
    if (cr + 1 < received_.size())
        drainFirst_ = true;
    finish(reply, {});
}

void ProjectorLine::onReplyTimer()
{
    replyTimer_.stop();
    if (phase_ == Phase::Draining) {
        phase_ = Phase::Idle;
        drainFirst_ = false;
        pump();
        return;
    }
    if (phase_ != Phase::Waiting)
        return;
    const QString frame = code(queue_.front().code);
    const int timeout = replyTimeoutOf(queue_.front().code);
    if (!received_.empty()) {
        tell(QStringLiteral("the reply to %1 did not end within %2 ms: %3")
                 .arg(frame)
                 .arg(timeout)
                 .arg(shown(received_)));
        finish(std::nullopt, {});
    } else if (wholeWait_) {
        finish(std::nullopt,
               QStringLiteral("no reply to %1 within %2 ms: the projector is off, unplugged "
                              "or silent")
                   .arg(frame)
                   .arg(timeout));
    } else {
        // The client's deadline came first: the projector may just be slow.
        finish(std::nullopt, {});
    }
}

void ProjectorLine::finish(const Reply& reply, const QString& down)
{
    Job job = std::move(queue_.front());
    queue_.pop_front();
    phase_ = Phase::Idle;
    received_.clear();
    if (!reply)
        drainFirst_ = true;
    if (!job.query)
        readings_.clear();
    if (reply && job.query)
        readings_[job.code] = {*reply, now_()};
    if (reply && !up_) {
        up_ = true;
        pollTimer_.setInterval(pollMs_);
        pollTimer_.start();
        tell(QStringLiteral("the projector answers"), false);
        emit upChanged(true);
    }
    if (!down.isEmpty())
        goDown(down);
    for (const Waiter& waiter : job.waiters)
        waiter.done(reply);
    pump();
}

void ProjectorLine::goDown(const QString& why)
{
    // The device's own loss has been told already.
    if (up_ && !lastTold_.startsWith(why))
        tell(why + QStringLiteral("; PJLink requests get ERR3 until it answers again"));
    const bool wasUp = std::exchange(up_, false);
    readings_.clear();
    pollTimer_.setInterval(kProbeMs);
    pollTimer_.start();
    // What waits would only wait for nothing; a frame on the line finishes by itself.
    std::deque<Job> failed;
    const bool busy = phase_ != Phase::Idle;
    failed.swap(queue_);
    if (busy) {
        queue_.push_back(std::move(failed.front()));
        failed.pop_front();
    }
    for (const Job& job : failed) {
        for (const Waiter& waiter : job.waiters)
            waiter.done(std::nullopt);
    }
    if (wasUp)
        emit upChanged(false);
}

void ProjectorLine::onPoll()
{
    if (!port_.isOpen()) {
        if (!port_.open()) {
            tell(port_.failureText() +
                 QStringLiteral(" (vx37-pjlink tries again every second; PJLink requests get "
                                "ERR3 until then)"));
            return;
        }
        tell(QStringLiteral("port opened"), false);
    }
    const std::int64_t now = now_();
    for (const std::string& query : polled_) {
        const auto reading = readings_.find(query);
        const bool fresh = reading != readings_.end() && now - reading->second.at < kFreshMs;
        if (!fresh)
            queue(query, true, {now + kPollAnswerMs, [](const Reply&) {}});
        if (!up_)
            break; // one probe is enough
    }
}

void ProjectorLine::tell(const QString& text, bool fault)
{
    // A fault that repeats is told once.
    if (text == lastTold_)
        return;
    lastTold_ = text;
    emit note(text, fault);
}

} // namespace vx37::pjlink
