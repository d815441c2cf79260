#include "link/line_settings.h"
#include "link/port_names.h"
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
    void variablesChooseTheDevice()
    {
        qputenv("VX37_COM2", "/tmp/some-pty");
        QCOMPARE(devicePathFor(2), QStringLiteral("/tmp/some-pty"));
        qputenv("VX37_COM2", "");
        QCOMPARE(devicePathFor(2), QStringLiteral("/dev/ttyS1"));
        qunsetenv("VX37_COM2");
        qunsetenv("VX37_COM1");
        QCOMPARE(devicePathFor(1), QStringLiteral("/dev/ttyS0"));
    }

    void failureTextsSayWhatToDo()
    {
        const QString missing = openFailureText(OpenFailure::NoSuchDevice, 1, QStringLiteral("/dev/ttyUSB7"));
        QVERIFY(missing.contains(QStringLiteral("/dev/ttyUSB7")));
        QVERIFY(missing.contains(QStringLiteral("VX37_COM1")));
        const QString denied = openFailureText(OpenFailure::PermissionDenied, 2, QStringLiteral("/nonexistent"));
        QVERIFY(denied.contains(QStringLiteral("\"dialout\"")));
        const QString busy = openFailureText(OpenFailure::Busy, 1, QStringLiteral("/dev/ttyS0"));
        QVERIFY(busy.contains(QStringLiteral("another program")));
    }
};

VX37_TEST(VirtualClockTest)
VX37_TEST(LineSettingsTest)
VX37_TEST(PortNamesTest)
#include "test_link.moc"
