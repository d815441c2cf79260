#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// ser2net in the foreground as a serial device server for a device (a simulator's link),
// from a configuration generated into a private directory: on two free TCP ports of
// 127.0.0.1, one raw and one Telnet with the COM-PORT-OPTION, the device set to `baud`.
class Ser2netProcess
{
public:
    Ser2netProcess(const QString& device, int baud);
    ~Ser2netProcess();

    // Starts it (again, at the same ports, after kill()); true once both ports listen.
    bool start();
    // Ends it at once (SIGKILL), as a device server that loses its power.
    void kill();

    QString socketName() const { return QStringLiteral("socket://127.0.0.1:%1").arg(raw_); }
    QString rfc2217Name() const { return QStringLiteral("rfc2217://127.0.0.1:%1").arg(telnet_); }

    // A port of 127.0.0.1 where nothing listens now.
    static quint16 freePort();

private:
    QTemporaryDir dir_;
    QProcess process_;
    quint16 raw_ = freePort();
    quint16 telnet_ = 0;
};
