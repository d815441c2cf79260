#include "link/line_settings.h"
#include "link/port_messages.h"
#include "link/port_resolver.h"
#include "link/virtual_clock.h"

#include "test_registry.h"

#include <QTest>

using namespace vx37;

class VirtualClockTest : public QObject
{
    Q_OBJECT

private slots:
    void firesDueTimersInTimeOrder()
    {
        VirtualClock clock;
        QStringList fired;
        VirtualTimer& slow = clock.createTimer(300);
        VirtualTimer& fast = clock.createTimer(100);
        slow.setTickHandler([&] { fired << QStringLiteral("slow@%1").arg(clock.now()); });
        fast.setTickHandler([&] {
            fired << QStringLiteral("fast@%1").arg(clock.now());
            if (clock.now() == 200)
                fast.stop();
        });
        slow.start();
        fast.start();
        clock.advance(650);
        QCOMPARE(fired, QStringList({"fast@100", "fast@200", "slow@300", "slow@600"}));
        QCOMPARE(clock.now(), 650);
    }

    void simultaneousTimersFireInTheOrderTheyWereArmed()
    {
        VirtualClock clock;
        QStringList fired;
        VirtualTimer& a = clock.createTimer(5);
        VirtualTimer& b = clock.createTimer(5);
        a.setTickHandler([&] { fired << QStringLiteral("a"); a.stop(); });
        b.setTickHandler([&] { fired << QStringLiteral("b"); b.stop(); });
        b.start();
        a.start();
        clock.advance(5);
        QCOMPARE(fired, QStringList({"b", "a"}));
    }

    void startingOrRetimingARunningTimerRestartsItsCountdown()
    {
        VirtualClock clock;
        VirtualTimer& timer = clock.createTimer(500);
        timer.start();
        clock.advance(300);
        timer.start();
        QCOMPARE(timer.dueAt(), 800);
        clock.advance(100);
        timer.setInterval(1000);
        QCOMPARE(timer.dueAt(), 1400);
        timer.stop();
        timer.setInterval(200); // a stopped timer stays stopped
        QVERIFY(!timer.isActive());
    }

    void aTickCanStopItsOwnTimer()
    {
        VirtualClock clock;
        int ticks = 0;
        VirtualTimer& timer = clock.createTimer(10);
        timer.setTickHandler([&] { ++ticks; timer.stop(); });
        timer.start();
        clock.advance(100);
        QCOMPARE(ticks, 1);
    }
};

class LineSettingsTest : public QObject
{
    Q_OBJECT

private slots:
    void parsesTheSettingsString_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("baud");
        QTest::newRow("19200,N,8,1") << QByteArray("19200,N,8,1") << true << 19200;
        QTest::newRow("9600,N,8,1") << QByteArray("9600,N,8,1") << true << 9600;
        QTest::newRow("lower-case parity") << QByteArray("4800,e,7,2") << true << 4800;
        QTest::newRow("one and a half stop bits") << QByteArray("110,O,5,1.5") << true << 110;
        QTest::newRow("empty") << QByteArray("") << false << 0;
        QTest::newRow("three fields") << QByteArray("9600,N,8") << false << 0;
        QTest::newRow("five fields") << QByteArray("9600,N,8,1,1") << false << 0;
        QTest::newRow("zero baud") << QByteArray("0,N,8,1") << false << 0;
        QTest::newRow("baud with letters") << QByteArray("96x0,N,8,1") << false << 0;
        QTest::newRow("unknown parity") << QByteArray("9600,X,8,1") << false << 0;
        QTest::newRow("nine data bits") << QByteArray("9600,N,9,1") << false << 0;
        QTest::newRow("three stop bits") << QByteArray("9600,N,8,3") << false << 0;
        QTest::newRow("blanks") << QByteArray("9600, N,8,1") << false << 0;
    }

    void parsesTheSettingsString()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, valid);
        QFETCH(int, baud);
        const auto settings = parseLineSettings(text.toStdString());
        QCOMPARE(settings.has_value(), valid);
        if (valid)
            QCOMPARE(settings->baudRate, baud);
    }

    void fieldsOfTheDesignedSettings()
    {
        const auto settings = parseLineSettings("19200,N,8,1");
        QVERIFY(settings);
        QCOMPARE(settings->parity, LineSettings::Parity::None);
        QCOMPARE(settings->dataBits, 8);
        QCOMPARE(settings->stopBits, LineSettings::StopBits::One);
    }
};

class PortNamesTest : public QObject
{
    Q_OBJECT

private slots:
    // Ports as "path" for a built-in port, "path=stable name" for an adapter.
    void comNumbersFollowThePortsPresent_data()
    {
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QString>("variable"); // VX37_COM1
        QTest::addColumn<QString>("com1");
        QTest::addColumn<QString>("com2");
        const QString a = QStringLiteral("=/dev/serial/by-id/usb-FTDI_FT232R_A1-if00-port0");
        const QString b = QStringLiteral("=/dev/serial/by-id/usb-Prolific_PL2303_B2-if00-port0");
        QTest::newRow("no ports") << QStringList{} << QString() << QString() << QString();
        QTest::newRow("one adapter") << QStringList{"/dev/ttyUSB0" + a} << QString()
                                     << QStringLiteral("/dev/ttyUSB0") << QString();
        QTest::newRow("built-in before an adapter")
            << QStringList{"/dev/ttyUSB0" + a, "/dev/ttyS0"} << QString()
            << QStringLiteral("/dev/ttyS0") << QStringLiteral("/dev/ttyUSB0");
        QTest::newRow("built-in by number") << QStringList{"/dev/ttyS10", "/dev/ttyS2"} << QString()
                                            << QStringLiteral("/dev/ttyS2") << QStringLiteral("/dev/ttyS10");
        QTest::newRow("two adapters, A plugged first")
            << QStringList{"/dev/ttyUSB0" + a, "/dev/ttyACM0" + b} << QString()
            << QStringLiteral("/dev/ttyUSB0") << QStringLiteral("/dev/ttyACM0");
        QTest::newRow("two adapters, B plugged first")
            << QStringList{"/dev/ttyACM0" + b, "/dev/ttyUSB1" + a} << QString()
            << QStringLiteral("/dev/ttyUSB1") << QStringLiteral("/dev/ttyACM0");
        QTest::newRow("a variable chooses COM1 only")
            << QStringList{"/dev/ttyUSB0" + a} << QStringLiteral("/tmp/some-pty")
            << QStringLiteral("/tmp/some-pty") << QString();
    }

    void comNumbersFollowThePortsPresent()
    {
        QFETCH(QStringList, present);
        QFETCH(QString, variable);
        QFETCH(QString, com1);
        QFETCH(QString, com2);
        const PortLister lister = [&present] {
            PortList ports;
            for (const QString& entry : present) {
                const QString path = entry.section(QLatin1Char('='), 0, 0);
                ports.push_back({path, {}, entry.section(QLatin1Char('='), 1), !entry.contains(QLatin1Char('='))});
            }
            return ports;
        };
        qputenv("VX37_COM1", variable.toLocal8Bit());
        qunsetenv("VX37_COM2");
        QCOMPARE(resolvePort(QStringLiteral("COM1"), lister).choice.path, com1);
        QCOMPARE(resolvePort(QStringLiteral("com2"), lister).choice.path, com2);
        qunsetenv("VX37_COM1");
    }

    // What each text must say: the device, what happened, and advice that works from
    // where it is read. Rows: failure, port, path, variable, detail (for busy: the
    // holder's program, pid, and "ended" when it has), advice; the texts that must be in
    // it, and one that must not.
    void failureTextsSayWhatToDo_data()
    {
        QTest::addColumn<int>("failure");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("variable");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<bool>("panel");
        QTest::addColumn<QStringList>("says");
        QTest::addColumn<QString>("never");
        const auto none = int(OpenFailure::NoSuchDevice);
        const auto denied = int(OpenFailure::PermissionDenied);
        const auto busy = int(OpenFailure::Busy);
        QTest::newRow("no port at all, panel")
            << none << 1 << QString() << QString() << QString() << true
            << QStringList{"No serial port is present", "choose COM1 in the \"COM\" frame"}
            << "try again";
        QTest::newRow("variable's device missing, panel")
            << none << 1 << "/dev/ttyUSB7"
            << "VX37_COM1" << QString() << true
            << QStringList{"/dev/ttyUSB7 (set by VX37_COM1)", "choose COM1 again",
                           "without VX37_COM1"}
            << "try again";
        QTest::newRow("variable's device missing, command line")
            << none << 1 << "/dev/ttyUSB7"
            << "VX37_COM1" << QString() << false
            << QStringList{"/dev/ttyUSB7", "try again", "without VX37_COM1"} << "the panel";
        QTest::newRow("denied, the device's group advised")
            << denied << 2 << "/nonexistent" << QString() << QString() << true
            << QStringList{"sudo adduser $USER dialout", "choose COM2 again"} << "root";
        QTest::newRow("denied, a group no one should join")
            << denied << 0 << "/dev/null" << QString() << QString() << false
            << QStringList{"sudo chown $USER /dev/null", "group root", "try again"} << "adduser";
        QTest::newRow("busy, holder known")
            << busy << 0 << "/dev/pts/3" << QString() << "vx37-panel 1234" << false
            << QStringList{"/dev/pts/3 is in use by vx37-panel (pid 1234)", "try again"}
            << "another program";
        QTest::newRow("busy, holder unknown")
            << busy << 1 << "/dev/ttyS0" << QString() << QString() << true
            << QStringList{"in use by another program", "choose COM1 again"} << "pid";
        QTest::newRow("busy, held by the daemon, panel")
            << busy << 2 << "/dev/ttyS0" << QString() << "vx37d 1234" << true
            << QStringList{"in use by vx37d (pid 1234)",
                           "\n    VX37_COM2=socket://127.0.0.1:4353 vx37-panel\n",
                           "its share setting"}
            << "End that program";
        QTest::newRow("busy, held by the daemon, command line")
            << busy << 1 << "/dev/ttyS0" << QString() << "vx37d 1234" << false
            << QStringList{"\n    vx37-ctl --port socket://127.0.0.1:4353 COMMAND...\n"}
            << "vx37-panel";
        QTest::newRow("busy, a lock left behind")
            << busy << 0 << "/dev/pts/3" << QString() << "vx37d 1234 ended" << false
            << QStringList{"locked by vx37d (pid 1234), which has ended",
                           "rm /var/lock/LCK..pts_3", "try again"}
            << "in use";
    }

    void failureTextsSayWhatToDo()
    {
        QFETCH(int, failure);
        QFETCH(int, port);
        QFETCH(QString, path);
        QFETCH(QString, variable);
        QFETCH(QString, detail);
        QFETCH(bool, panel);
        QFETCH(QStringList, says);
        QFETCH(QString, never);
        PortChoice choice;
        choice.path = path;
        choice.variable = variable;
        const QStringList holder = detail.split(u' ');
        const QString text = openFailureText(
            OpenFailure(failure), port, choice,
            panel ? RetryAdvice::ChooseThePort : RetryAdvice::TryAgain, detail,
            LockHolder{holder[0], holder.value(1).toLongLong(),
                       detail.isEmpty() ? QString() : QStringLiteral("/var/lock/LCK..pts_3"),
                       holder.value(2) == QLatin1String("ended")});
        for (const QString& part : says)
            QVERIFY2(text.contains(part), qPrintable(part + QStringLiteral(" not in: ") + text));
        QVERIFY2(!text.contains(never), qPrintable(text));
    }
};

VX37_TEST(VirtualClockTest)
VX37_TEST(LineSettingsTest)
VX37_TEST(PortNamesTest)
#include "test_link.moc"
