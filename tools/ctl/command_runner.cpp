#include "ctl/command_runner.h"

#include "ctl/answer.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vx37::ctl {

CommandRunner::CommandRunner(SerialControl& port, const CtlOptions& options, QString portName,
                             QObject* parent)
    : QObject(parent), options_(options), portName_(std::move(portName)),
      exchange_(port, exchangeTimer_, [this] { return clock_.elapsed(); })
{
    clock_.start();
    paceTimer_.setSingleShot(true);
    paceTimer_.setTimerType(Qt::PreciseTimer);
    connect(&paceTimer_, &QTimer::timeout, this, &CommandRunner::nextFrame);
    // A frame that waited for the line to fall quiet goes now.
    connect(&exchange_, &FrameExchange::lineFree, this, [this] {
        if (!paceTimer_.isActive() && command_ < options_.commands.size())
            nextFrame();
    });
}

void CommandRunner::start(bool justConnected)
{
    if (options_.commands.empty()) {
        emit finished(0);
        return;
    }
    if (justConnected)
        exchange_.lineOpened(); // the first frame goes once the line is quiet
    else
        nextFrame();
}

void CommandRunner::nextFrame()
{
    if (!exchange_.ready())
        return; // lineFree() brings it back
    const CtlCommand& command = options_.commands[command_];
    if (frame_ == 0)
        sinceFirstFrame_.start();
    exchange_.exchange(command.code, command.replyTimeoutMs,
                       [this](const FrameReply& reply) { endFrame(reply); });
}

void CommandRunner::endFrame(const FrameReply& reply)
{
    if (reply.lost)
        return; // the program ends with the loss, told where it is seen
    const CtlCommand& command = options_.commands[command_];
    const std::optional<std::string> fault = answerFault(command, reply);
    // A line that does not take a frame would only stack the next ones behind it.
    if (!report(reply, fault) || reply.unwritten > 0) {
        command_ = options_.commands.size();
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

bool CommandRunner::report(const FrameReply& reply, const std::optional<std::string>& fault)
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
        options_.json ? answerJson(command, reply) : answerText(command, reply);
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
