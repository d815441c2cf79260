#pragma once

#include "ctl/answer.h"
#include "ctl/command_line.h"
#include "link/serial_control.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

namespace vx37::ctl {

// Sends the commands in order on an open port, one frame at a time, and takes for each
// frame only its own answer:
// - a frame is written whole first (a long raw code takes a while on a slow line); then it
//   waits for its reply up to the CR, or until the reply time-out;
// - the reply counts once the line has stayed quiet for kSettleMs after it: anything more
//   in that time means something else talks on the line, and the reply is not taken;
// - after a frame that got no answer of its own, the next frame goes out only once the
//   line has been quiet for that frame's reply time-out, so that a late reply is drained
//   instead of being taken as the next command's answer (kLongestDrainMs at most);
// - the frames of a held button go out at its repeat interval, or at once after a late
//   answer.
// Every answer is printed on standard output as it comes; faults go to standard error.
class CommandRunner : public QObject
{
    Q_OBJECT

public:
    static constexpr int kSettleMs = 30;
    static constexpr int kLongestDrainMs = 3000;

    // portName: how the port was given, for messages ("COM1 (/dev/ttyUSB0)").
    CommandRunner(SerialControl& port, const CtlOptions& options, QString portName,
                  QObject* parent = nullptr);

    void start();

signals:
    // 0 when every frame got its own answer, 1 when some did not or the answers could
    // not be written.
    void finished(int exitCode);

private:
    enum class Phase { Idle, Draining, Writing, Waiting, Settling };

    void nextFrame();
    void sendFrame();
    void waitForReply();
    void takeReply();
    void onComm();
    void onReplyTimeout();
    void onQuiet();
    void endFrame();
    bool report(const std::optional<std::string>& fault);

    SerialControl& port_;
    const CtlOptions& options_;
    QString portName_;
    std::size_t command_ = 0;
    int frame_ = 0; // of the current command
    Answer answer_;
    Phase phase_ = Phase::Idle;
    int drainQuietMs_ = 0; // after a frame without its own answer
    bool missed_ = false;
    QTimer replyTimer_; // while Writing: how long the frame may take to go out
    QTimer quietTimer_; // the settle after a reply, or the quiet a drain waits for
    QTimer paceTimer_;
    QElapsedTimer sinceFirstFrame_;
    QElapsedTimer sinceDrainBegan_;
};

} // namespace vx37::ctl
