#include "ser2net_process.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTcpServer>
#include <QTest>
#include <QThread>

namespace {

// Whether something listens on the TCP port of 127.0.0.1, from the kernel's table, so
// that asking does not connect (a connection makes ser2net open the device).
bool listening(quint16 port)
{
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly))
        return false;
    const QByteArray local = QByteArrayLiteral("0100007F:") +
                             QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    for (const QByteArray& line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 3 && fields[1] == local && fields[3] == "0A") // 0A: LISTEN
            return true;
    }
    return false;
}

} // namespace

Ser2netProcess::Ser2netProcess(const QString& device, int baud) : rawPort_(freePort())
{
    while (telnetPort_ == 0 || telnetPort_ == rawPort_)
        telnetPort_ = freePort();
    process_.setProcessChannelMode(QProcess::MergedChannels);
    QObject::connect(&process_, &QProcess::readyRead, &process_,
                     [this] { output_ += QString::fromUtf8(process_.readAll()); });
    QFile config(dir_.filePath(QStringLiteral("ser2net.yaml")));
    if (!config.open(QIODevice::WriteOnly))
        return;
    const QString connector = QStringLiteral("serialdev,%1,%2n81,local").arg(device).arg(baud);
    config.write(QStringLiteral("%YAML 1.1\n---\n"
                                "connection: &raw\n"
                                "    accepter: tcp,127.0.0.1,%1\n"
                                "    connector: %3\n"
                                "    options:\n"
                                "      mdns: false\n"
                                "connection: &telnet\n"
                                "    accepter: telnet(rfc2217),tcp,127.0.0.1,%2\n"
                                "    connector: %3\n"
                                "    options:\n"
                                "      mdns: false\n")
                     .arg(rawPort_)
                     .arg(telnetPort_)
                     .arg(connector)
                     .toUtf8());
}

Ser2netProcess::~Ser2netProcess()
{
    kill();
    if (QTest::currentTestFailed())
        qInfo("ser2net said:\n%s", qPrintable(output_));
}

bool Ser2netProcess::start()
{
    // -n -d: in the foreground, its log to standard output; -u: no lock files, as a
    // device server owns its lines.
    process_.start(QStringLiteral("ser2net"),
                   {QStringLiteral("-n"), QStringLiteral("-d"), QStringLiteral("-u"),
                    QStringLiteral("-c"), dir_.filePath(QStringLiteral("ser2net.yaml"))});
    if (!process_.waitForStarted(5000))
        return false;
    const QDeadlineTimer deadline(10000);
    while (!(listening(rawPort_) && listening(telnetPort_))) {
        if (deadline.hasExpired() || process_.state() != QProcess::Running)
            return false;
        QTest::qWait(20);
    }
    return true;
}

void Ser2netProcess::kill()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.kill();
    process_.waitForFinished(5000);
}

QString Ser2netProcess::socketName() const
{
    return QStringLiteral("socket://127.0.0.1:%1").arg(rawPort_);
}

QString Ser2netProcess::rfc2217Name() const
{
    return QStringLiteral("rfc2217://127.0.0.1:%1").arg(telnetPort_);
}

quint16 Ser2netProcess::freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}
