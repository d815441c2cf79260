#pragma once

#include "link/line_settings.h"
#include "link/port_messages.h"
#include "link/port_resolver.h"
#include "link/serial_control.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QTimer>

#include <functional>

namespace vx37 {

// The serial control on QSerialPort.
//
// Two habits of QSerialPort shape this class. Written bytes wait in its buffer until the
// event loop runs, so output() hands them to the device before it returns when the device
// can take them: the frame is on the wire before the TXD line shows it. And when the
// device goes away QSerialPort repeats ReadError in a tight loop while isOpen() stays
// true, so the first error of a device that is really gone closes it, is reported once,
// and starts a quiet retry that reopens the same device with the same settings when it
// comes back. QSerialPort also raises errors for a device still there (a read of nothing
// when another program took the bytes first, a full line): those keep the port.
//
// Port numbers are resolved to devices at every opening (port_resolver.h). A device is
// opened, and locked, under its real path, whatever link named it.
class QtSerialControl final : public SerialControl
{
    Q_OBJECT

public:
    static constexpr int kRetryIntervalMs = 1000;
    // Listing the ports present reads much of /sys (some 15 ms). Start-up opens, closes
    // and opens COM1 again at once: a listing this young serves the second opening too.
    static constexpr int kListingReuseMs = 500;

    explicit QtSerialControl(QObject* parent = nullptr);
    ~QtSerialControl() override;

    void setCommPort(int port) override { port_ = port; }
    // Opens this device instead of the one the port number stands for (a command-line
    // --port, any name resolvePort() takes); empty goes back to the port number.
    void setDevicePath(const QString& path) { fixedPath_ = path; }
    // What the port number, or the name given instead, stands for now.
    ResolvedPort resolve() const;
    // Opens a port resolve() found; what is no device fails, as a device of that name would.
    bool open(const ResolvedPort& port);
    int commPort() const override { return port_; }
    bool setSettings(const std::string& settings) override;
    std::string settings() const override { return settingsText_; }
    bool open() override { return open(resolve()); }
    void close() override;
    bool isOpen() const override { return wanted_; }
    QString failureText() const override { return failureText_; }
    void output(const std::string& bytes) override;
    qint64 bytesToWrite() const override { return device_.bytesToWrite(); }
    std::string input() override;
    int commEvent() const override { return commEvent_; }

    std::array<QString, 2> portDescriptions() const override;

    // How often a lost device is looked for: kRetryIntervalMs, unless a test of many
    // losses in a row wants it sooner.
    void setRetryInterval(int milliseconds) { retryTimer_.setInterval(milliseconds); }
    // Where the serial ports present come from: the system's, unless a test offers its own.
    void setPortLister(PortLister lister) { lister_ = std::move(lister); }
    // What a failure text advises: the panel's port choice, or running a command again.
    void setRetryAdvice(RetryAdvice advice) { advice_ = advice; }
    // Whether the open device is gone, asked on a read or write error: by default its
    // node removed or now another device's, or the line hung up.
    void setLossProbe(std::function<bool()> probe) { lossProbe_ = std::move(probe); }
    // QSerialPort's errors arrive here; a test may raise one itself.
    void onError(QSerialPort::SerialPortError error);

    // The device is open right now (false while waiting for a lost device to return).
    bool deviceConnected() const { return device_.isOpen(); }
    QString devicePath() const { return openedPath_; }

private:
    PortList ports() const;
    bool openDevice(const QString& path);
    bool deviceCanTakeBytes() const;
    bool deviceGone() const;
    void applySettings();
    void handleLoss();
    void retry();

    QSerialPort device_;
    QTimer retryTimer_;
    int port_ = 1;
    QString fixedPath_;
    PortLister lister_ = presentPorts;
    mutable PortList listing_;
    mutable QElapsedTimer listedAt_;
    RetryAdvice advice_ = RetryAdvice::ChooseThePort;
    QString openedPath_;
    QString deviceFile_;   // the device file opened, links resolved
    quint64 deviceId_ = 0; // its device number: another device at that path is a loss too
    std::function<bool()> lossProbe_;
    QString reopenPath_; // a lost device is looked for here
    std::string settingsText_ = "9600,N,8,1";
    LineSettings lineSettings_{9600};
    bool wanted_ = false; // open as the program sees it
    int commEvent_ = 0;
    bool lossPending_ = false;
    QString failureText_;
};

} // namespace vx37
