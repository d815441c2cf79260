#pragma once

#include "link/network/network_serial_control.h"
#include "link/serial/qt_serial_control.h"

#include <memory>
#include <string>

namespace vx37 {

// The serial control for whatever a port stands for: a device, through QSerialPort, or a
// serial device server's port over the network (socket://HOST:PORT, rfc2217://HOST:PORT).
// Which one is chosen at every opening, from the name the port number stands for
// (VX37_COM1, VX37_COM2) or the name given instead, so that COM1 can be a device server
// and COM2 an adapter, and what uses the port never knows which it has.
class AnyPortControl final : public SerialControl
{
    Q_OBJECT

public:
    explicit AnyPortControl(QObject* parent = nullptr);

    void setCommPort(int port) override;
    int commPort() const override { return port_; }
    // Opens this port instead of the one the number stands for: a device path or a
    // network port (a command-line --port); empty goes back to the number.
    void setPortName(const QString& name) { serial_.setDevicePath(name); }
    bool setSettings(const std::string& settings) override;
    std::string settings() const override { return serial_.settings(); }
    bool open() override;
    void close() override { active().close(); }
    bool isOpen() const override { return active().isOpen(); }
    QString failureText() const override;
    // The last open() failed on a port name that cannot be read (a variable's network
    // port, say): the caller's mistake, to be put right before trying again.
    bool nameUnreadable() const { return !nameFault_.isEmpty(); }
    void output(const std::string& bytes) override { active().output(bytes); }
    qint64 bytesToWrite() const override { return active().bytesToWrite(); }
    std::string input() override { return active().input(); }
    int commEvent() const override { return active().commEvent(); }
    std::array<QString, 2> portDescriptions() const override { return serial_.portDescriptions(); }

    void setRetryAdvice(RetryAdvice advice);
    // How often a lost device is looked for (QtSerialControl::setRetryInterval).
    void setRetryInterval(int milliseconds) { serial_.setRetryInterval(milliseconds); }
    // The line is there right now: the device open, or the connection up.
    bool deviceConnected() const;
    // The device opened last, or the network port's name.
    QString devicePath() const;

signals:
    // A network port's connection is up, after open() or a reconnection. A device is
    // there as soon as open() returns true (deviceConnected()).
    void connected();
    // Something the operator should know that is no failure of the line (network_serial_control.h).
    void notice(const QString& text);

private:
    const SerialControl& active() const;
    SerialControl& active();

    QtSerialControl serial_;
    NetworkSerialControl network_;
    bool networkActive_ = false;
    int port_ = 1;
    RetryAdvice advice_ = RetryAdvice::ChooseThePort;
    QString nameFault_; // a port name that could not be read, at the last opening
};

// A closed control for a port given by name (COM1, COM2, a device path or a network
// port) at a speed the projector takes, 8 data bits, no parity, 1 stop bit, whose
// messages advise running the command again: vx37-ctl's line, and vx37d's.
std::unique_ptr<AnyPortControl> projectorPort(const std::string& given, int baud);

} // namespace vx37
