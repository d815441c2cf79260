#include "line/projector_line.h"

#include "commands/button_table.h"
#include "commands/command_frame.h"
#include "commands/monitor_text.h"
#include "replies/reply_forms.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace vx37 {

namespace {

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

// A relayed frame waits for its turn however long it takes; the deadline timer is set no
// further ahead than this.
constexpr std::int64_t kNoDeadline = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kLongestTimerMs = 24 * 3600 * 1000;

QString code(const std::string& code)
{
    return QString::fromStdString(code);
}

} // namespace

ProjectorLine::ProjectorLine(SerialControl& port, IntervalTimer& exchangeTimer,
                             IntervalTimer& deadlineTimer, IntervalTimer& pollTimer, Clock now,
                             int pollMs, std::vector<std::string> polled, QObject* parent)
    : QObject(parent), port_(port), exchange_(port, exchangeTimer, now),
      deadlineTimer_(deadlineTimer), pollTimer_(pollTimer), now_(std::move(now)),
      pollMs_(pollMs), polled_(std::move(polled))
{
    // An answer counts at its CR: a client waits for no settle time, so that a query the
    // projector must be asked is answered within a millisecond of its reply. What follows
    // an answer is dropped before the next frame goes.
    exchange_.setSettleMs(0);
    deadlineTimer_.setTickHandler([this] { onDeadline(); });
    pollTimer_.setTickHandler([this] { onPoll(); });
    connect(&exchange_, &FrameExchange::lineFree, this, &ProjectorLine::pump);
    // Told once while it repeats (a projector that talks by itself): no client is given it.
    connect(&exchange_, &FrameExchange::unasked, this, [this](const std::string& bytes) {
        tell(QStringLiteral("dropped what came when no frame was waiting: \"%1\"")
                 .arg(shown(bytes)));
    });
    connect(&port_, &SerialControl::deviceLost, this, [this](const QString& text) {
        // Told whatever the line's state: a connection that never came up says why here.
        tell(text + QStringLiteral(" Requests fail until the projector answers again."));
        goDown(text);
    });
}

void ProjectorLine::start()
{
    pollTimer_.setInterval(kProbeMs);
    pollTimer_.start();
    onPoll();
}

void ProjectorLine::pollAlso(std::vector<std::string> codes, int everyMs)
{
    slowPolled_ = std::move(codes);
    slowPollMs_ = everyMs;
}

const ProjectorLine::Reading* ProjectorLine::lastReading(std::string_view code) const
{
    const auto reading = lastReadings_.find(code);
    return reading == lastReadings_.end() ? nullptr : &reading->second;
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
    queue({code, true, {{deadline, std::move(done)}}});
}

void ProjectorLine::send(const std::string& code, std::int64_t deadline, Done done)
{
    if (!up_) {
        done(std::nullopt);
        return;
    }
    queue({code, false, {{deadline, std::move(done)}}});
}

void ProjectorLine::relay(const std::string& code, Done done)
{
    if (!up_) {
        done(std::nullopt);
        return;
    }
    const bool query = replyFormOf(code) != ReplyForm::Acknowledge;
    queue({code, query, {{kNoDeadline, std::move(done)}}, true});
}

void ProjectorLine::queue(Job job)
{
    // A query joins the same query on the line or in the queue: its reply is a reading taken
    // no sooner than the request came. A relayed frame is its client's own.
    const auto same = [&](const Job& other) {
        return job.query && !job.relayed && other.query && !other.relayed &&
               other.code == job.code;
    };
    if (onLine_ && same(*onLine_)) {
        onLine_->waiters.push_back(std::move(job.waiters.front()));
    } else if (const auto queued = std::find_if(queue_.begin(), queue_.end(), same);
               queued != queue_.end()) {
        queued->waiters.push_back(std::move(job.waiters.front()));
    } else {
        queue_.push_back(std::move(job));
    }
    armDeadline();
    pump();
}

void ProjectorLine::pump()
{
    // A request that fails here may queue the next one of its client: it waits its turn.
    if (pumping_)
        return;
    pumping_ = true;
    while (!onLine_ && exchange_.ready() && !queue_.empty()) {
        const std::int64_t now = now_();
        Job job = std::move(queue_.front());
        queue_.pop_front();
        std::vector<Waiter> late;
        std::erase_if(job.waiters, [&](Waiter& waiter) {
            if (waiter.deadline - now >= kLeastReplyMs)
                return false;
            late.push_back(std::move(waiter));
            return true;
        });
        if (!job.waiters.empty()) {
            const std::string code = job.code;
            onLine_ = std::move(job);
            exchange_.exchange(
                code, replyTimeoutOf(code), [this](const FrameReply& reply) { onReply(reply); },
                onLine_->relayed ? FrameExchange::Accept::AnyReply
                                 : FrameExchange::Accept::AnswerForm);
        }
        for (const Waiter& waiter : late)
            waiter.done(std::nullopt);
    }
    pumping_ = false;
}

void ProjectorLine::onReply(const FrameReply& reply)
{
    const QString frame = code(onLine_->code);
    if (reply.lost) {
        // The loss is told where it is seen, right after this; nothing goes out meanwhile.
        const Job job = std::move(*onLine_);
        onLine_.reset();
        goDown({});
        for (const Waiter& waiter : job.waiters)
            waiter.done(std::nullopt);
        return;
    }
    if (reply.answered) {
        finish(reply.reply, {});
        return;
    }
    if (onLine_->relayed && !reply.reply.empty()) {
        // The client has what came, as it came; what followed it answers nobody.
        if (!reply.after.empty())
            tell(QStringLiteral("dropped what came behind the reply to %1: \"%2\"")
                     .arg(frame, shown(reply.after)));
        finish(reply.reply, {});
        return;
    }
    const int timeout = replyTimeoutOf(onLine_->code);
    if (reply.reply.empty()) {
        finish(std::nullopt,
               QStringLiteral("no reply to %1 within %2 ms: the projector is off, unplugged "
                              "or silent")
                   .arg(frame)
                   .arg(timeout));
        return;
    }
    if (reply.overlong)
        tell(QStringLiteral("no end to the reply to %1: %2").arg(frame, shown(reply.reply)));
    else if (!reply.ended)
        tell(QStringLiteral("the reply to %1 did not end within %2 ms: %3")
                 .arg(frame)
                 .arg(timeout)
                 .arg(shown(reply.reply)));
    else if (!reply.after.empty())
        tell(QStringLiteral("more came than one reply to %1: \"%2\", then \"%3\"")
                 .arg(frame, shown(reply.reply), shown(reply.after)));
    else
        tell(QStringLiteral("unexpected reply to %1: \"%2\"").arg(frame, shown(reply.reply)));
    finish(std::nullopt, {});
}

void ProjectorLine::finish(const Reply& reply, const QString& down)
{
    Job job = std::move(*onLine_);
    onLine_.reset();
    if (!job.query)
        readings_.clear();
    bool changed = false;
    if (reply && job.query && isAnswerTo(job.code, *reply)) {
        readings_[job.code] = {*reply, now_()};
        Reading& last = lastReadings_[job.code];
        changed = last.reply != *reply;
        last = {*reply, now_()};
    }
    const bool cameUp = reply && !up_;
    if (cameUp) {
        up_ = true;
        pollTimer_.setInterval(pollMs_);
        pollTimer_.start();
        tell(QStringLiteral("the projector answers"), false);
    }
    if (!down.isEmpty())
        goDown(down);
    for (const Waiter& waiter : job.waiters)
        waiter.done(reply);
    if (changed)
        emit readingChanged(job.code);
    if (cameUp) {
        emit upChanged(true);
        pollSlow(); // their first round, now rather than a poll later
    }
    pump();
}

void ProjectorLine::goDown(const QString& why)
{
    // The device's own loss has been told already.
    if (up_ && !why.isEmpty() && !lastTold_.startsWith(why))
        tell(why + QStringLiteral("; requests fail until it answers again"));
    const bool wasUp = std::exchange(up_, false);
    readings_.clear();
    pollTimer_.setInterval(kProbeMs);
    pollTimer_.start();
    // What waits would only wait for nothing; a frame on the line finishes by itself.
    std::deque<Job> failed;
    failed.swap(queue_);
    for (const Job& job : failed) {
        for (const Waiter& waiter : job.waiters)
            waiter.done(std::nullopt);
    }
    if (wasUp)
        emit upChanged(false);
}

void ProjectorLine::onDeadline()
{
    // Whoever's deadline has come gets its error now; the frame on the line goes on.
    const std::int64_t now = now_();
    std::vector<Waiter> late;
    const auto takeLate = [&](Job& job) {
        std::erase_if(job.waiters, [&](Waiter& waiter) {
            if (waiter.deadline > now)
                return false;
            late.push_back(std::move(waiter));
            return true;
        });
    };
    if (onLine_)
        takeLate(*onLine_);
    for (Job& job : queue_)
        takeLate(job);
    std::erase_if(queue_, [](const Job& job) { return job.waiters.empty(); });
    armDeadline();
    for (const Waiter& waiter : late)
        waiter.done(std::nullopt);
}

void ProjectorLine::armDeadline()
{
    std::optional<std::int64_t> next;
    const auto earliest = [&](const Job& job) {
        for (const Waiter& waiter : job.waiters)
            next = std::min(next.value_or(waiter.deadline), waiter.deadline);
    };
    if (onLine_)
        earliest(*onLine_);
    for (const Job& job : queue_)
        earliest(job);
    if (!next) {
        deadlineTimer_.stop();
        return;
    }
    deadlineTimer_.setInterval(
        static_cast<int>(std::clamp<std::int64_t>(*next - now_(), 0, kLongestTimerMs)));
    deadlineTimer_.start();
}

void ProjectorLine::onPoll()
{
    if (!port_.isOpen()) {
        if (!port_.open()) {
            tell(port_.failureText() +
                 QStringLiteral(" (vx37d tries again every second; requests fail until "
                                "then)"));
            return;
        }
        tell(QStringLiteral("port opened"), false);
    }
    const std::int64_t now = now_();
    for (const std::string& query : polled_) {
        const auto reading = readings_.find(query);
        const bool fresh = reading != readings_.end() && now - reading->second.at < kFreshMs;
        if (!fresh)
            queue({query, true, {{now + kPollAnswerMs, [](const Reply&) {}}}});
        if (!up_)
            return; // one probe is enough
    }
    pollSlow();
}

void ProjectorLine::pollSlow()
{
    const std::int64_t now = now_();
    for (const std::string& query : slowPolled_) {
        const Reading* last = lastReading(query);
        if (!last || now - last->at >= slowPollMs_)
            queue({query, true, {{now + kPollAnswerMs, [](const Reply&) {}}}});
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

} // namespace vx37
