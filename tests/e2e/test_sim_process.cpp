#include "sim_process.h"

#include "test_registry.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <fcntl.h>
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

    // A link left behind by a simulator that was killed is taken over.
    void replacesAStaleLink()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("vx37-com1"));
        QVERIFY(QFile::link(QStringLiteral("/dev/pts/left-behind"), path));
        QProcess sim;
        sim.start(QStringLiteral(VX37_SIM_PATH),
                  {QStringLiteral("--quiet"), QStringLiteral("--link"), path});
        QVERIFY(sim.waitForReadyRead(5000)); // the path is printed once the link is in place
        QVERIFY(QFileInfo(path).symLinkTarget().startsWith(QStringLiteral("/dev/pts/")));
        QVERIFY(QFileInfo::exists(path)); // no longer dangling
        sim.terminate();
        QVERIFY(sim.waitForFinished(5000));
    }

    void refusesToReplaceAFileThatIsNoLink()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("taken"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("keep me");
        file.close();

        QProcess sim;
        sim.start(QStringLiteral(VX37_SIM_PATH), {QStringLiteral("--link"), path});
        QVERIFY(sim.waitForFinished(5000));
        QCOMPARE(sim.exitCode(), 1);
        QVERIFY(QString::fromUtf8(sim.readAllStandardError())
                    .contains(QStringLiteral("not a symbolic link")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("keep me"));
    }

    void aWrongOptionIsExplained()
    {
        QProcess sim;
        sim.start(QStringLiteral(VX37_SIM_PATH),
                  {QStringLiteral("--late"), QStringLiteral("soon")});
        QVERIFY(sim.waitForFinished(5000));
        QCOMPARE(sim.exitCode(), 2);
        QVERIFY(QString::fromUtf8(sim.readAllStandardError()).contains(QStringLiteral("--help")));
    }
};

VX37_TEST(SimProcessE2ETest)
#include "test_sim_process.moc"
