#include "ctl/command_runner.h"

#include "commands/command_frame.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vx37::ctl {

namespace {

void singleShotPrecise(QTimer& timer)
{
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
}

} // namespace

CommandRunner::CommandRunner(SerialControl& port, const CtlOptions& options, QString portName,
                             QObject* parent)
    : QObject(parent), port_(port), options_(options), portName_(std::move(portName))
{
    singleShotPrecise(replyTimer_);
    singleShotPrecise(quietTimer_);
    singleShotPrecise(paceTimer_);
    connect(&replyTimer_, &QTimer::timeout, this, &CommandRunner::onReplyTimeout);
    connect(&quietTimer_, &QTimer::timeout, this, &CommandRunner::onQuiet);
    connect(&paceTimer_, &QTimer::timeout, this, &CommandRunner::nextFrame);
    connect(&port_, &SerialControl::comm, this, &CommandRunner::onComm);
    connect(&port_, &SerialControl::allWritten, this, [this] {
        if (phase_ == Phase::Writing)
            waitForReply();
    });
}

void CommandRunner::start()
{
    if (options_.commands.empty()) {
        emit finished(0);
        return;
    }
    nextFrame();
}

void CommandRunner::nextFrame()
{
    if (drainQuietMs_ == 0) {
        sendFrame();
        return;
    }
    // A late answer to the frame before may still come: let the line fall quiet first.
    phase_ = Phase::Draining;
    port_.input();
    sinceDrainBegan_.start();
    quietTimer_.start(drainQuietMs_);
}

void CommandRunner::sendFrame()
{
    const CtlCommand& command = options_.commands[command_];
    if (frame_ == 0)
        sinceFirstFrame_.start();
    // What came unasked since the last answer belongs to no command of ours.
    port_.input();
    answer_ = {};
    const std::string frame = buildFrame({}, command.code);
    port_.output(frame);
    if (port_.bytesToWrite() == 0) {
        waitForReply();
        return;
    }
    // Twice the time the frame needs at the line's speed (ten bits a byte), and a second.
    phase_ = Phase::Writing;
    replyTimer_.start(static_cast<int>(frame.size() * 10 * 1000 * 2 / options_.baud) + 1000);
}

void CommandRunner::waitForReply()
{
    phase_ = Phase::Waiting;
    replyTimer_.start(options_.commands[command_].replyTimeoutMs);
    takeReply(); // what came while the frame was still going out
}

void CommandRunner::takeReply()
{
    const auto cr = answer_.reply.find('\r');
    if (cr == std::string::npos)
        return;
    replyTimer_.stop();
    answer_.ended = true;
    answer_.after = answer_.reply.substr(cr + 1);
    answer_.reply.resize(cr + 1);
    if (!answer_.after.empty()) {
        endFrame();
        return;
    }
    phase_ = Phase::Settling;
    quietTimer_.start(kSettleMs);
}

void CommandRunner::onComm()
{
    if (port_.commEvent() != SerialControl::kEventReceive)
        return;
    const std::string piece = port_.input();
    if (piece.empty())
        return;
    switch (phase_) {
    case Phase::Idle:
        return;
    case Phase::Draining:
        if (sinceDrainBegan_.hasExpired(kLongestDrainMs)) {
            // A line that never falls quiet: go on; the answers will tell.
            quietTimer_.stop();
            drainQuietMs_ = 0;
            sendFrame();
        } else {
            quietTimer_.start(drainQuietMs_);
        }
        return;
    case Phase::Writing:
        answer_.reply += piece;
        return;
    case Phase::Waiting:
        answer_.reply += piece;
        takeReply();
        return;
    case Phase::Settling:
        // Something came behind the answer: the answer cannot be told from it.
        quietTimer_.stop();
        answer_.after = piece;
        endFrame();
        return;
    }
}

void CommandRunner::onReplyTimeout()
{
    if (phase_ == Phase::Writing) {
        answer_.unwritten = static_cast<std::size_t>(port_.bytesToWrite());
        answer_.reply.clear();
    }
    if (phase_ == Phase::Writing || phase_ == Phase::Waiting)
        endFrame();
}

void CommandRunner::onQuiet()
{
    if (phase_ == Phase::Draining) {
        drainQuietMs_ = 0;
        sendFrame();
    } else if (phase_ == Phase::Settling) {
        endFrame();
    }
}

void CommandRunner::endFrame()
{
    phase_ = Phase::Idle;
    const CtlCommand& command = options_.commands[command_];
    const std::optional<std::string> fault = answerFault(command, answer_);
    drainQuietMs_ = fault ? std::max(command.replyTimeoutMs, kSettleMs) : 0;
    // A line that does not take a frame would only stack the next ones behind it.
    if (!report(fault) || answer_.unwritten > 0) {
        emit finished(1);
        return;
    }
    if (++frame_ < command.frames) {
        const qint64 due = qint64(frame_) * command.repeatIntervalMs - sinceFirstFrame_.elapsed();
        paceTimer_.start(static_cast<int>(std::max<qint64>(0, due)));
        return;
    }
    frame_ = 0;
    if (++command_ < options_.commands.size()) {
        nextFrame();
        return;
    }
    emit finished(missed_ ? 1 : 0);
}

bool CommandRunner::report(const std::optional<std::string>& fault)
{
    const CtlCommand& command = options_.commands[command_];
    if (fault) {
        missed_ = true;
        const std::string frame = command.frames > 1 ? ", frame " + std::to_string(frame_ + 1) +
                                                           " of " + std::to_string(command.frames)
                                                     : std::string();
        std::fprintf(stderr, "vx37-ctl: %s (%s%s) on %s: %s\n", command.name.c_str(),
                     cutForMessage(command.code).c_str(), frame.c_str(), qPrintable(portName_),
                     fault->c_str());
    }
    const std::string line =
        options_.json ? answerJson(command, answer_) : answerText(command, answer_);
    std::fprintf(stdout, "%s\n", line.c_str());
    // A script reads the answers as they come; one it cannot be given is a failure.
    if (std::fflush(stdout) != 0) {
        std::fprintf(stderr, "vx37-ctl: write error on standard output: %s\n",
                     std::strerror(errno));
        return false;
    }
    return true;
}

} // namespace vx37::ctl
