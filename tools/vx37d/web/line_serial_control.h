#pragma once

#include "line/projector_line.h"
#include "link/serial_control.h"

#include <cstddef>
#include <deque>
#include <string>

namespace vx37::web {

// A panel's serial control whose port is vx37d's line: what the panel writes is cut into
// frames at CR and relayed one at a time, the next once the last is answered, and each
// reply comes in as if from the serial line. It never opens a device of its own: open()
// always works, and the port and speed choices change nothing on the line.
// - Frames waiting for their turn hold at most kMostWaiting bytes; beyond that a frame is
//   dropped, as a full device buffer would.
// - A frame already waiting is not queued again: a button repeating faster than the line
//   answers must not leave a backlog that runs on after its release.
class LineSerialControl final : public SerialControl
{
    Q_OBJECT

public:
    static constexpr std::size_t kMostWaiting = 65536;

    // portName: the device vx37d owns, for the port descriptions.
    LineSerialControl(ProjectorLine& line, QString portName, QObject* parent = nullptr);

    void setCommPort(int port) override { port_ = port; }
    int commPort() const override { return port_; }
    bool setSettings(const std::string& settings) override;
    std::string settings() const override { return settings_; }
    bool open() override;
    void close() override;
    bool isOpen() const override { return open_; }
    QString failureText() const override { return {}; }
    void output(const std::string& bytes) override;
    qint64 bytesToWrite() const override;
    std::string input() override;
    int commEvent() const override { return commEvent_; }
    std::array<QString, 2> portDescriptions() const override;

    // Drops the waiting copies of a frame (CR included), if any.
    void discardWaiting(const std::string& frame);

private:
    void pump();
    void answered(const ProjectorLine::Reply& reply);

    ProjectorLine& line_;
    QString portName_;
    int port_ = 1;
    std::string settings_ = "19200,N,8,1";
    bool open_ = false;
    int commEvent_ = 0;
    std::string partial_;             // written since the last CR
    std::deque<std::string> waiting_; // frames without their CR
    std::size_t waitingBytes_ = 0;
    bool onLine_ = false; // a frame of ours is queued or on the line
    bool pumping_ = false;
    std::string inbox_;
};

} // namespace vx37::web
