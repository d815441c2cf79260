#include "ser2net_process.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTcpServer>
#include <QTest>

namespace {

// Whether something listens on the TCP port of 127.0.0.1, from the kernel's table: a
// connection to ask would make ser2net open the device.
bool listening(quint16 port)
{
    QFile table(QStringLiteral("/proc/net/tcp"));
    const QByteArray hex = QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    return table.open(QIODevice::ReadOnly) &&
           table.readAll().contains("0100007F:" + hex + " 00000000:0000 0A"); // 0A: LISTEN
}

} // namespace

Ser2netProcess::Ser2netProcess(const QString& device, int baud)
{
    while (telnet_ == 0 || telnet_ == raw_)
        telnet_ = freePort();
    QFile config(dir_.filePath(QStringLiteral("ser2net.yaml")));
    const QString connection = QStringLiteral("connection: &%1\n"
                                              "    accepter: %2tcp,127.0.0.1,%3\n"
                                              "    connector: serialdev,%4,%5n81,local\n"
                                              "    options:\n"
                                              "      mdns: false\n");
    const auto text = [&](const char* name, const char* kind, quint16 port) {
        return connection.arg(QLatin1String(name), QLatin1String(kind))
            .arg(port)
            .arg(device)
            .arg(baud);
    };
    if (config.open(QIODevice::WriteOnly))
        config.write(("%YAML 1.1\n---\n" + text("raw", "", raw_) +
                      text("telnet", "telnet(rfc2217),", telnet_))
                         .toUtf8());
}

Ser2netProcess::~Ser2netProcess()
{
    kill();
}

bool Ser2netProcess::start()
{
    // -n: in the foreground; -u: no lock files.
    process_.start(QStringLiteral("ser2net"),
                   {QStringLiteral("-n"), QStringLiteral("-u"), QStringLiteral("-c"),
                    dir_.filePath(QStringLiteral("ser2net.yaml"))});
    const QDeadlineTimer deadline(10000);
    while (process_.waitForStarted(5000) && !(listening(raw_) && listening(telnet_))) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(20);
    }
    return process_.state() == QProcess::Running;
}

void Ser2netProcess::kill()
{
    process_.kill();
    process_.waitForFinished(5000);
}

quint16 Ser2netProcess::freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}
