#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// ser2net in the foreground as a serial device server for a device (a simulator's link),
// on two TCP ports of 127.0.0.1 it finds free: one raw, one Telnet with the
// COM-PORT-OPTION, both setting the device to `baud` when a client connects. Its
// configuration is generated into a private temporary directory.
class Ser2netProcess
{
public:
    Ser2netProcess(const QString& device, int baud);
    ~Ser2netProcess();

    // Starts it, again at the same ports after kill(); true once both ports listen.
    bool start();
    // Ends it at once (SIGKILL), as a device server that loses its power.
    void kill();

    QString socketName() const;  // socket://127.0.0.1:P
    QString rfc2217Name() const; // rfc2217://127.0.0.1:Q
    QString output() const { return output_; }

    // A port of 127.0.0.1 where nothing listens now.
    static quint16 freePort();

private:
    QTemporaryDir dir_;
    QProcess process_;
    quint16 rawPort_ = 0;
    quint16 telnetPort_ = 0;
    QString output_;
};
