#pragma once

#include "link/serial_control.h"

#include <map>
#include <vector>

namespace vx37 {

// A serial control in memory, for tests and fuzzing: records what is written, feeds
// received characters, and can refuse an opening or lose its device on demand.
class MemorySerialControl final : public SerialControl
{
    Q_OBJECT

public:
    using SerialControl::SerialControl;

    void setCommPort(int port) override;
    int commPort() const override { return port_; }
    bool setSettings(const std::string& settings) override;
    std::string settings() const override { return settings_; }
    bool open() override;
    void close() override;
    bool isOpen() const override { return open_; }
    QString failureText() const override { return failureText_; }
    void output(const std::string& bytes) override;
    std::string input() override;
    int commEvent() const override { return commEvent_; }
    std::array<QString, 2> portDescriptions() const override
    {
        return {memoryPortName(1), memoryPortName(2)};
    }
    static QString memoryPortName(int port) { return QStringLiteral("memory COM%1").arg(port); }

    // Test controls.
    // Refuses to open the port once it has been opened `afterOpens` times in all.
    void refuseOpening(int port, const QString& text, int afterOpens = 0)
    {
        refusals_[port] = {text, afterOpens};
    }
    void allowOpening(int port) { refusals_.erase(port); }
    void receive(const std::string& bytes); // characters arrive: event 2
    void raiseEvent(int code);              // any other event code
    void vanish();                          // the device goes away while open
    void comeBack();                        // the device returns: reopened as before
    bool deviceAbsent() const { return open_ && !connected_; }

    const std::string& written() const { return written_; }
    const std::vector<std::string>& writes() const { return writes_; }
    void clearWritten();
    int openCount() const { return openCount_; }

private:
    int port_ = 1;
    std::string settings_ = "9600,N,8,1";
    bool open_ = false;
    bool connected_ = false;
    int commEvent_ = 0;
    int openCount_ = 0;
    QString failureText_;
    std::string inbox_;
    std::string written_;
    std::vector<std::string> writes_;
    std::map<int, std::pair<QString, int>> refusals_;
};

} // namespace vx37
