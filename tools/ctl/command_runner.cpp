#include "ctl/command_runner.h"

#include "commands/command_frame.h"

#include <algorithm>
#include <cstdio>

namespace vx37::ctl {

CommandRunner::CommandRunner(SerialControl& port, const CtlOptions& options, QObject* parent)
    : QObject(parent), port_(port), options_(options)
{
    replyTimer_.setSingleShot(true);
    replyTimer_.setTimerType(Qt::PreciseTimer);
    paceTimer_.setSingleShot(true);
    paceTimer_.setTimerType(Qt::PreciseTimer);
    connect(&replyTimer_, &QTimer::timeout, this, &CommandRunner::endWait);
    connect(&paceTimer_, &QTimer::timeout, this, &CommandRunner::sendFrame);
    connect(&port_, &SerialControl::comm, this, &CommandRunner::onComm);
}

void CommandRunner::start()
{
    if (options_.commands.empty()) {
        emit finished(0);
        return;
    }
    sendFrame();
}

void CommandRunner::sendFrame()
{
    const CtlCommand& command = options_.commands[command_];
    if (frame_ == 0)
        sinceFirstFrame_.start();
    // What came unasked since the last answer belongs to no command of ours.
    port_.input();
    answer_ = {};
    waiting_ = true;
    port_.output(buildFrame({}, command.code));
    replyTimer_.start(command.replyTimeoutMs);
}

void CommandRunner::onComm()
{
    if (port_.commEvent() != SerialControl::kEventReceive)
        return;
    const std::string piece = port_.input();
    if (!waiting_)
        return;
    answer_.reply += piece;
    // A reply ends at its CR; anything behind it is not part of it.
    if (const auto cr = answer_.reply.find('\r'); cr != std::string::npos) {
        answer_.reply.resize(cr + 1);
        answer_.ended = true;
        endWait();
    }
}

void CommandRunner::endWait()
{
    replyTimer_.stop();
    waiting_ = false;
    report();
    const CtlCommand& command = options_.commands[command_];
    if (++frame_ < command.frames) {
        const qint64 due = qint64(frame_) * command.repeatIntervalMs - sinceFirstFrame_.elapsed();
        paceTimer_.start(static_cast<int>(std::max<qint64>(0, due)));
        return;
    }
    frame_ = 0;
    if (++command_ < options_.commands.size()) {
        sendFrame();
        return;
    }
    emit finished(missed_ ? 1 : 0);
}

void CommandRunner::report()
{
    const CtlCommand& command = options_.commands[command_];
    if (const auto fault = answerFault(command, answer_)) {
        missed_ = true;
        const std::string frame = command.frames > 1 ? ", frame " + std::to_string(frame_ + 1) +
                                                           " of " + std::to_string(command.frames)
                                                     : std::string();
        std::fprintf(stderr, "vx37-ctl: %s (%s%s): %s\n", command.name.c_str(),
                     command.code.c_str(), frame.c_str(), fault->c_str());
    }
    const std::string line =
        options_.json ? answerJson(command, answer_) : answerText(command, answer_);
    std::fprintf(stdout, "%s\n", line.c_str());
    std::fflush(stdout);
}

} // namespace vx37::ctl
