#include "sim_process.h"

#include "test_registry.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <optional>
#include <utility>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

class SimProcessE2ETest : public QObject
{
    Q_OBJECT

private slots:
    void servesAtTheLinkUntilStopped_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }

    void servesAtTheLinkUntilStopped()
    {
        QFETCH(int, signal);
        SimProcess sim;
        QVERIFY2(sim.isServing(), qPrintable(sim.printedPath() + sim.transcript()));
        const QFileInfo link(sim.link());
        QVERIFY(link.isSymLink());
        QVERIFY(link.symLinkTarget().startsWith(QStringLiteral("/dev/pts/")));
        QTRY_VERIFY_WITH_TIMEOUT(sim.transcript().contains(QStringLiteral("serving ")), 5000);

        QCOMPARE(sim.stop(signal), 0);
        QVERIFY(!QFileInfo::exists(sim.link()) && !QFileInfo(sim.link()).isSymLink());
        QVERIFY(sim.transcript().contains(QStringLiteral("stopped")));
    }

    void aPanelThatDiedDoesNotLockTheNextOneOut()
    {
        SimProcess sim;
        QVERIFY2(sim.isServing(), qPrintable(sim.transcript()));
        const QByteArray path = QFile::encodeName(sim.link());
        // A port opened in exclusive mode and closed without undoing it, as by a panel
        // that was killed.
        int fd = ::open(path.constData(), O_RDWR | O_NOCTTY);
        QVERIFY(fd >= 0);
        QCOMPARE(::ioctl(fd, TIOCEXCL), 0);
        ::close(fd);
        QTRY_VERIFY_WITH_TIMEOUT(sim.linesWith(QStringLiteral("the panel closed the port")) == 1,
                                 5000);

        fd = ::open(path.constData(), O_RDWR | O_NOCTTY);
        QVERIFY(fd >= 0);
        int exclusive = -1;
        QCOMPARE(::ioctl(fd, TIOCGEXCL, &exclusive), 0);
        ::close(fd);
        QCOMPARE(exclusive, 0);
        QTRY_VERIFY_WITH_TIMEOUT(sim.linesWith(QStringLiteral("the panel opened the port")) == 2,
                                 5000);
    }

    // A link left behind by a simulator that was killed is taken over, whether its terminal
    // is gone or its number went to another program, or to the new simulator itself.
    void replacesAStaleLink_data()
    {
        QTest::addColumn<int>("reused"); // 0 no, 1 held by another program, 2 free again
        QTest::newRow("terminal gone") << 0;
        QTest::newRow("terminal now another program's") << 1;
        QTest::newRow("terminal number free for the new one") << 2;
    }

    void replacesAStaleLink()
    {
        QFETCH(int, reused);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("vx37-com1"));
        int other = ::posix_openpt(O_RDWR | O_NOCTTY);
        QVERIFY(other >= 0 && ::grantpt(other) == 0 && ::unlockpt(other) == 0);
        const QString left = reused ? QString::fromLocal8Bit(::ptsname(other))
                                    : QStringLiteral("/dev/pts/left-behind");
        QVERIFY(QFile::link(left, path));
        if (reused == 2)
            ::close(std::exchange(other, -1));
        QProcess sim;
        sim.start(SimProcess::program(),
                  {QStringLiteral("--quiet"), QStringLiteral("--link"), path});
        QVERIFY(sim.waitForReadyRead(5000)); // the path is printed once the link is in place
        const QString target = QFileInfo(path).symLinkTarget();
        QVERIFY(target.startsWith(QStringLiteral("/dev/pts/")) && (reused == 2 || target != left));
        sim.terminate();
        QVERIFY(sim.waitForFinished(5000));
        ::close(other);
    }

    void refusesAPathInUse_data()
    {
        QTest::addColumn<QString>("taken");
        QTest::addColumn<QString>("said");
        QTest::newRow("a file") << "file"
                                << "exists and is not a symbolic link; choose another --link path";
        QTest::newRow("a link to a device") << "device"
                                            << "not a simulator's; remove it or choose another";
        QTest::newRow("a running simulator's link") << "live"
                                                    << "stop that one or choose another";
    }

    void refusesAPathInUse()
    {
        QFETCH(QString, taken);
        QFETCH(QString, said);
        QTemporaryDir dir;
        QString path = dir.filePath(QStringLiteral("taken"));
        std::optional<SimProcess> running;
        if (taken == QLatin1String("file")) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("keep me") == 7);
        } else if (taken == QLatin1String("device")) {
            QVERIFY(QFile::link(QStringLiteral("/dev/null"), path));
        } else {
            running.emplace();
            QVERIFY(running->isServing());
            path = running->link();
        }
        const auto state = [&path] {
            const QFileInfo info(path);
            QFile file(path);
            return info.isSymLink() ? info.symLinkTarget()
                                    : (file.open(QIODevice::ReadOnly) ? file.readAll() : "");
        };
        const QString before = state();

        QProcess sim;
        sim.start(SimProcess::program(), {QStringLiteral("--link"), path});
        QVERIFY(sim.waitForFinished(5000));
        QCOMPARE(sim.exitCode(), 1);
        const QString error = QString::fromUtf8(sim.readAllStandardError());
        QVERIFY2(error.contains(path) && error.contains(said), qPrintable(error));
        QCOMPARE(state(), before);
    }

    void aWrongOptionIsExplained()
    {
        QProcess sim;
        sim.start(SimProcess::program(),
                  {QStringLiteral("--late"), QStringLiteral("soon")});
        QVERIFY(sim.waitForFinished(5000));
        QCOMPARE(sim.exitCode(), 2);
        QVERIFY(QString::fromUtf8(sim.readAllStandardError()).contains(QStringLiteral("--help")));
    }
};

VX37_TEST(SimProcessE2ETest)
#include "test_sim_process.moc"
