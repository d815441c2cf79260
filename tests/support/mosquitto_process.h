#pragma once

#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>

// Debian's mosquitto on a free loopback port, anonymous, nothing kept across a restart; a
// mosquitto_sub on every topic keeping each topic's last payload and all it saw; and
// mosquitto_pub.
class MosquittoProcess
{
public:
    MosquittoProcess()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        port_ = probe.serverPort();
        probe.close();
        QFile config(dir_.filePath("mosquitto.conf"));
        config.open(QIODevice::WriteOnly) && config.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\n").arg(port_).toUtf8());
        config.close();
        start();
    }
    ~MosquittoProcess() { stop(); }

    quint16 port() const { return port_; }
    QString url() const { return QStringLiteral("mqtt://127.0.0.1:%1").arg(port_); }

    bool start()
    {
        broker_.start(QStringLiteral("mosquitto"), {"-c", dir_.filePath("mosquitto.conf")});
        broker_.waitForStarted(5000);
        QObject::connect(&watch_, &QProcess::readyReadStandardOutput, [this] {
            while (watch_.canReadLine()) {
                const QString line = QString::fromUtf8(watch_.readLine()).chopped(1);
                seen << line;
                last[line.section(u' ', 0, 0)] = line.section(u' ', 1);
            }
        });
        // The sub retries until the broker listens.
        for (int i = 0; i < 50 && watch_.state() != QProcess::Running; ++i) {
            watch_.start(QStringLiteral("mosquitto_sub"),
                         {"-p", QString::number(port_), "-t", "#", "-v", "-q", "1"});
            if (!watch_.waitForFinished(100))
                break;
        }
        return broker_.state() == QProcess::Running && watch_.state() == QProcess::Running;
    }
    void stop()
    {
        watch_.disconnect();
        for (QProcess* process : {&watch_, &broker_})
            process->terminate(), process->waitForFinished(3000);
        seen.clear(), last.clear();
    }

    bool publish(const QString& topic, const QString& payload)
    {
        QProcess pub;
        pub.start(QStringLiteral("mosquitto_pub"),
                  {"-p", QString::number(port_), "-q", "1", "-t", topic, "-m", payload});
        return pub.waitForFinished(5000) && pub.exitCode() == 0;
    }

    QStringList seen;           // "topic payload", as they came
    QMap<QString, QString> last; // each topic's last payload

private:
    QTemporaryDir dir_;
    quint16 port_ = 0;
    QProcess broker_;
    QProcess watch_;
};
