#pragma once

#include "ctl/answer.h"
#include "ctl/command_line.h"
#include "link/serial_control.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

namespace vx37::ctl {

// Sends the commands in order on an open port, one frame at a time: each frame waits for
// its answer (up to its CR, or the reply time-out) before the next goes. The frames of a
// held button go out at its repeat interval, or at once after a late answer. Every
// answer is printed on standard output as it comes; faults go to standard error.
class CommandRunner : public QObject
{
    Q_OBJECT

public:
    CommandRunner(SerialControl& port, const CtlOptions& options, QObject* parent = nullptr);

    void start();

signals:
    // 0 when every frame was answered, 1 when some got no whole reply in time.
    void finished(int exitCode);

private:
    void sendFrame();
    void onComm();
    void endWait();
    void report();

    SerialControl& port_;
    const CtlOptions& options_;
    std::size_t command_ = 0;
    int frame_ = 0; // of the current command
    Answer answer_;
    bool waiting_ = false;
    bool missed_ = false;
    QTimer replyTimer_;
    QTimer paceTimer_;
    QElapsedTimer sinceFirstFrame_;
};

} // namespace vx37::ctl
