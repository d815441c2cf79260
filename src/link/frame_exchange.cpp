#include "link/frame_exchange.h"

#include "commands/command_frame.h"
#include "link/line_settings.h"
#include "replies/reply_forms.h"

#include <algorithm>
#include <cassert>
#include <utility>

namespace vx37 {

namespace {

// How long a frame may take to go out: twice its time at the line's speed (ten bits a
// byte), and a second.
int writingBoundMs(std::size_t bytes, const std::string& settings)
{
    const auto line = parseLineSettings(settings);
    const int baud = line && line->baudRate > 0 ? line->baudRate : 9600;
    return static_cast<int>(std::min<std::int64_t>(
        std::int64_t(bytes) * 10 * 1000 * 2 / baud + 1000, 24 * 3600 * 1000));
}

} // namespace

FrameExchange::FrameExchange(SerialControl& port, IntervalTimer& timer, Clock now,
                             QObject* parent)
    : QObject(parent), port_(port), timer_(timer), now_(std::move(now))
{
    timer_.setTickHandler([this] { onTimer(); });
    connect(&port_, &SerialControl::comm, this, &FrameExchange::onComm);
    connect(&port_, &SerialControl::allWritten, this, [this] {
        if (phase_ == Phase::Writing)
            waitForReply();
    });
    connect(&port_, &SerialControl::deviceLost, this, [this] {
        if (phase_ == Phase::Draining) {
            endDrain(); // the line it waited on is gone
        } else if (phase_ != Phase::Idle) {
            reply_.lost = true;
            finish();
        }
    });
}

void FrameExchange::exchange(const std::string& code, int replyTimeoutMs, Done done,
                             Accept accept)
{
    assert(ready());
    code_ = code;
    accept_ = accept;
    replyTimeoutMs_ = replyTimeoutMs;
    done_ = std::move(done);
    reply_ = {};
    // What came unasked answers nothing that goes out now.
    port_.input();
    const std::string frame = buildFrame({}, code);
    port_.output(frame);
    if (port_.bytesToWrite() == 0) {
        waitForReply();
        return;
    }
    phase_ = Phase::Writing;
    timer_.setInterval(writingBoundMs(frame.size(), port_.settings()));
    timer_.start();
}

void FrameExchange::lineOpened()
{
    if (phase_ == Phase::Idle || phase_ == Phase::Draining)
        drain(std::max(drainQuietMs_, kConnectSettleMs));
}

void FrameExchange::waitForReply()
{
    phase_ = Phase::Waiting;
    timer_.setInterval(replyTimeoutMs_);
    timer_.start();
    takeReply(); // what came while the frame was still going out
}

void FrameExchange::collect(const std::string& piece)
{
    // Room for a reply of the longest length and as much again behind it.
    const std::size_t room = 2 * kLongestReply - std::min(2 * kLongestReply, reply_.reply.size());
    reply_.reply.append(piece, 0, room);
}

void FrameExchange::takeReply()
{
    const auto cr = reply_.reply.find('\r');
    if (cr == std::string::npos ? reply_.reply.size() >= kLongestReply : cr >= kLongestReply) {
        reply_.reply.resize(kLongestReply);
        reply_.overlong = true;
        finish();
        return;
    }
    if (cr == std::string::npos)
        return;
    reply_.ended = true;
    reply_.after = reply_.reply.substr(cr + 1);
    reply_.reply.resize(cr + 1);
    if (!reply_.after.empty() || settleMs_ == 0) {
        finish();
        return;
    }
    phase_ = Phase::Settling;
    timer_.setInterval(settleMs_);
    timer_.start();
}

void FrameExchange::onComm()
{
    if (port_.commEvent() != SerialControl::kEventReceive)
        return;
    const std::string piece = port_.input();
    if (piece.empty())
        return;
    switch (phase_) {
    case Phase::Idle:
        emit unasked(piece);
        return;
    case Phase::Draining:
        // A line that never falls quiet is drained no longer: the forms will tell.
        if (now_() - drainBegan_ >= kLongestDrainMs)
            endDrain();
        else
            timer_.start();
        return;
    case Phase::Writing:
        collect(piece);
        return;
    case Phase::Waiting:
        collect(piece);
        takeReply();
        return;
    case Phase::Settling:
        // Something came behind the answer: the answer cannot be told from it.
        reply_.after = piece.substr(0, kLongestReply);
        finish();
        return;
    }
}

void FrameExchange::onTimer()
{
    timer_.stop();
    switch (phase_) {
    case Phase::Idle:
        return;
    case Phase::Draining:
        endDrain();
        return;
    case Phase::Writing:
        reply_.unwritten = static_cast<std::size_t>(port_.bytesToWrite());
        reply_.reply.clear();
        finish();
        return;
    case Phase::Waiting:
    case Phase::Settling:
        finish();
        return;
    }
}

void FrameExchange::drain(int quietMs)
{
    phase_ = Phase::Draining;
    drainQuietMs_ = quietMs;
    drainBegan_ = now_();
    port_.input();
    timer_.setInterval(quietMs);
    timer_.start();
}

void FrameExchange::endDrain()
{
    timer_.stop();
    phase_ = Phase::Idle;
    drainQuietMs_ = 0;
    emit lineFree();
}

void FrameExchange::finish()
{
    timer_.stop();
    phase_ = Phase::Idle;
    reply_.answered = reply_.ended && reply_.after.empty() && reply_.unwritten == 0 &&
                      !reply_.lost &&
                      (accept_ == Accept::AnyReply || isAnswerTo(code_, reply_.reply));
    // A frame without its own answer keeps the line until a late answer has passed; a line
    // that is gone has nothing to drain.
    if (!reply_.answered && !reply_.lost)
        drain(std::max(replyTimeoutMs_, kSettleMs));
    const Done done = std::exchange(done_, {});
    if (done)
        done(reply_);
}

} // namespace vx37
