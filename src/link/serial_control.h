#pragma once

#include <QObject>
#include <QString>

#include <array>
#include <string>

namespace vx37 {

// What the panel asks of its serial communications control (MSComm1): a port number,
// a settings string, open/close with a failure text, output, input and a receive event.
// The real one drives QSerialPort; tests use MemorySerialControl.
class SerialControl : public QObject
{
    Q_OBJECT

public:
    static constexpr int kEventReceive = 2; // CommEvent: received characters wait in Input

    using QObject::QObject;

    // The port number (1 = COM1, 2 = COM2); set it only while the port is closed.
    virtual void setCommPort(int port) = 0;
    virtual int commPort() const = 0;

    // "19200,N,8,1" style settings. On an open port they take effect at once.
    // Returns false, changing nothing, for a string that is not valid settings.
    virtual bool setSettings(const std::string& settings) = 0;
    virtual std::string settings() const = 0;

    // Opens the numbered port; on failure returns false and failureText() says what
    // happened and what the operator can do about it.
    virtual bool open() = 0;
    virtual void close() = 0;
    // Open as the program sees it. A port whose device went away stays open here while
    // the control waits for the device to come back.
    virtual bool isOpen() const = 0;
    virtual QString failureText() const = 0;

    // Writes the whole string, one byte per character, after whatever waits to be written.
    // The bytes have been handed to the device when this returns, unless the device could
    // not take them yet (a long text on a slow line): then they wait, in order, and
    // allWritten() follows when they are out. Writes nothing while the device is absent
    // or the port closed.
    virtual void output(const std::string& bytes) = 0;
    // Bytes given to output() that wait for the device to take them.
    virtual qint64 bytesToWrite() const { return 0; }
    // Reads and removes every waiting character.
    virtual std::string input() = 0;
    virtual int commEvent() const = 0;

    // What COM1 and COM2 stand for, for the operator: the device and its name, or that
    // there is no such port; both from one listing of the ports present. Asked when the
    // port choices are shown.
    virtual std::array<QString, 2> portDescriptions() const = 0;

signals:
    // Every byte given to output() has been handed to the device.
    void allWritten();
    // MSComm1_OnComm: raised on the user-interface thread; commEvent() tells why.
    void comm();
    // The open port's device went away (an adapter pulled). Raised once per loss;
    // the control goes on trying to reopen the same device quietly.
    void deviceLost(const QString& text);
};

} // namespace vx37
