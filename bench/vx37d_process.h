#pragma once

// vx37d as the benchmarks run it, and a PJLink client of it.

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryFile>
#include <QThread>

#include <cstring>
#include <functional>
#include <memory>

namespace vx37::bench {

inline double msSince(const QElapsedTimer& timer)
{
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

// vx37d on the simulator's line, PJLink and its shared line each on a free loopback port:
// several run at once.
class Bridge
{
public:
    Bridge(const QString& link, const QStringList& options)
    {
        // The log goes to a file, not a pipe that would fill while the figures are taken.
        process_.setStandardErrorFile(log_.fileName());
        process_.start(
            QStringLiteral(VX37D_PATH),
            QStringList{"--port", link, "--pjlink", "127.0.0.1:0", "--share", "127.0.0.1:0", "--http", "127.0.0.1:0"} +
                options);
        const QRegularExpression ready(
            QStringLiteral("PJLink class 1 on 127.0.0.1:(\\d+)[\\s\\S]*the projector answers"));
        const QRegularExpression shared(QStringLiteral("shared line on 127.0.0.1:(\\d+)"));
        for (QElapsedTimer waited; !waited.isValid() || !waited.hasExpired(5000);) {
            if (!waited.isValid())
                waited.start();
            QFile log(log_.fileName());
            log.open(QIODevice::ReadOnly);
            const QString text = QString::fromUtf8(log.readAll());
            if (const auto match = ready.match(text); match.hasMatch()) {
                port_ = static_cast<quint16>(match.captured(1).toUInt());
                sharePort_ = static_cast<quint16>(shared.match(text).captured(1).toUInt());
                break;
            }
            QThread::msleep(20);
        }
    }
    ~Bridge()
    {
        process_.terminate();
        process_.waitForFinished(5000);
    }

    quint16 port() const { return port_; }
    quint16 sharePort() const { return sharePort_; }
    qint64 pid() const { return process_.processId(); }

    // A /proc/PID/status field in KiB (VmRSS, VmHWM).
    long statusKiB(const char* field) const
    {
        QFile status(QStringLiteral("/proc/%1/status").arg(pid()));
        if (!status.open(QIODevice::ReadOnly))
            return 0;
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith(field))
                return line.mid(static_cast<int>(std::strlen(field)) + 1)
                    .trimmed()
                    .split(' ')[0]
                    .toLong();
        }
        return 0;
    }

    // CPU time used so far, in seconds, to the nanosecond (the first field of schedstat).
    double cpuSeconds() const
    {
        QFile schedstat(QStringLiteral("/proc/%1/schedstat").arg(pid()));
        if (!schedstat.open(QIODevice::ReadOnly))
            return 0;
        return schedstat.readAll().split(' ').value(0).toDouble() / 1e9;
    }

private:
    QTemporaryFile log_{QStringLiteral("/tmp/vx37d-bench-XXXXXX.log")};
    bool logOpen_ = log_.open();
    QProcess process_;
    quint16 port_ = 0;
    quint16 sharePort_ = 0;
};

// A connected client past the greeting, or nullptr.
inline std::unique_ptr<QTcpSocket> client(quint16 port)
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QHostAddress::LocalHost, port);
    if (!socket->waitForConnected(5000))
        return nullptr;
    while (!socket->peek(64).contains('\r')) {
        if (!socket->waitForReadyRead(5000))
            return nullptr;
    }
    socket->readLine(64);
    return socket;
}

// The shared line's figures (vx37d_share.cpp); false when they could not be taken.
bool shareFigures(bool quick);

} // namespace vx37::bench
