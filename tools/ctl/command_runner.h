#pragma once

#include "ctl/command_line.h"
#include "link/frame_exchange.h"
#include "link/qt_interval_timer.h"
#include "link/serial_control.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

namespace vx37::ctl {

// Sends the commands in order on an open port, one frame at a time through the frame
// exchange (link/frame_exchange.h), which takes for each frame only its own answer. The
// frames of a held button go out at its repeat interval, or at once after a late answer.
// Every answer is printed on standard output as it comes; faults go to standard error.
class CommandRunner : public QObject
{
    Q_OBJECT

public:
    // portName: how the port was given, for messages ("COM1 (/dev/ttyUSB0)").
    CommandRunner(SerialControl& port, const CtlOptions& options, QString portName,
                  QObject* parent = nullptr);

    // justConnected: a network port's connection has just come up, and what the device
    // server passes on first is no answer.
    void start(bool justConnected = false);

signals:
    // 0 when every frame got its own answer, 1 when some did not or the answers could
    // not be written.
    void finished(int exitCode);

private:
    void nextFrame();
    void endFrame(const FrameReply& reply);
    bool report(const FrameReply& reply, const std::optional<std::string>& fault);

    const CtlOptions& options_;
    QString portName_;
    QElapsedTimer clock_;
    QtIntervalTimer exchangeTimer_{0};
    FrameExchange exchange_;
    std::size_t command_ = 0;
    int frame_ = 0; // of the current command
    bool missed_ = false;
    QTimer paceTimer_;
    QElapsedTimer sinceFirstFrame_;
};

} // namespace vx37::ctl
