#include "live_panel.h"
#include "sim_process.h"

#include "test_registry.h"

#include <QTest>

#include <memory>

using namespace vx37;
using namespace vx37::testing;

namespace {

constexpr int kReplyBound = 5000; // ms: a reply on a pseudo-terminal takes far less

// Everything received until the reply time-out is one accumulation; the next command's
// answer is shown on its own only after it.
#define WAIT_FOR_REPLY_TIME_OUT(live)                                                              \
    QTRY_VERIFY_WITH_TIMEOUT(!(live).timer2.isActive(), kReplyBound)

} // namespace

class PowerSequenceE2ETest : public QObject
{
    Q_OBJECT

private slots:
    void statusFollowsThePowerSequence()
    {
        SimProcess sim("--count-down 1200 --cooling 1200");
        QVERIFY2(sim.isServing(), qPrintable(sim.transcript()));
        LivePanel live(sim.link());
        QVERIFY(live.comm.deviceConnected());
        QCOMPARE(live.warnings.count(), 0);

        live.click("Command44"); // STATUS
        QCOMPARE(live.txd(), QStringLiteral(" C R 0 CR "));
        QTRY_COMPARE_WITH_TIMEOUT(live.status(), QStringLiteral(" Stand by"), kReplyBound);
        QCOMPARE(live.rxd(), QStringLiteral(" 8 0 CR "));

        WAIT_FOR_REPLY_TIME_OUT(live);
        live.click("Command17"); // ON
        QTRY_COMPARE_WITH_TIMEOUT(live.rxd(), QStringLiteral(" ACK CR "), kReplyBound);
        WAIT_FOR_REPLY_TIME_OUT(live);
        live.click("Command44");
        QTRY_COMPARE_WITH_TIMEOUT(live.status(), QStringLiteral(" Count down"), kReplyBound);

        // The count down ends by itself; the projector says so in its transcript.
        QTRY_VERIFY_WITH_TIMEOUT(sim.linesWith(QStringLiteral("power count down -> on")) == 1,
                                 10000);
        WAIT_FOR_REPLY_TIME_OUT(live);
        live.click("Command44");
        QTRY_COMPARE_WITH_TIMEOUT(live.status(), QStringLiteral(" Power ON"), kReplyBound);

        WAIT_FOR_REPLY_TIME_OUT(live);
        live.click("Command18"); // OFF
        QTRY_COMPARE_WITH_TIMEOUT(live.rxd(), QStringLiteral(" ACK CR "), kReplyBound);
        WAIT_FOR_REPLY_TIME_OUT(live);
        live.click("Command44");
        QTRY_COMPARE_WITH_TIMEOUT(live.status(), QStringLiteral(" Cooling down"), kReplyBound);
        QTRY_VERIFY_WITH_TIMEOUT(
            sim.linesWith(QStringLiteral("power cooling down -> stand-by")) == 1, 10000);
        WAIT_FOR_REPLY_TIME_OUT(live);
        live.click("Command44");
        QTRY_COMPARE_WITH_TIMEOUT(live.status(), QStringLiteral(" Stand by"), kReplyBound);
        QCOMPARE(live.warnings.count(), 0);
    }
};

class StatusQueryE2ETest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Lamp hours move once an hour of lamp time here, so they stay put during the test.
        sim_ = std::make_unique<SimProcess>(
            "--power on --input pc2 --lamp-hours 4321 --hour-ms 3600000 --reversal left-right "
            "--lamp-mode no1 --ambient 20 --pressure 980");
        QVERIFY2(sim_->isServing(), qPrintable(sim_->transcript()));
    }

    void cleanupTestCase() { sim_.reset(); }

    void everyStatusQueryIsDecoded_data()
    {
        QTest::addColumn<QByteArray>("control"); // a status button, or empty to type
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("status");
        QTest::newRow("STATUS") << QByteArray("Command44") << QString()
                                << QStringLiteral(" Power ON");
        QTest::newRow("MODE") << QByteArray("Command45") << QString()
                              << QStringLiteral(" Computer 2");
        QTest::newRow("L-TIME") << QByteArray("Command46") << QString()
                                << QStringLiteral(" 0 4 3 2 1 CR  Hour Use");
        QTest::newRow("SETTING") << QByteArray("Command47") << QString()
                                 << QStringLiteral(" Left/Right reversal");
        QTest::newRow("TEMP") << QByteArray("Command54") << QString()
                              << QStringLiteral(
                                     "  S1= 0 2 8 . 0 C  ,   S2=  4 0 . 0 C , S3= 0 5 5 . 0 C");
        QTest::newRow("L-MODE") << QByteArray("Command52") << QString()
                                << QStringLiteral(" No1 ON  : 1 Lamp mode(No1 USE)");
        QTest::newRow("typed CR9") << QByteArray() << QStringLiteral("CR9")
                                   << QStringLiteral(" V X 3 7   S I M U L A T O R CR ");
        QTest::newRow("typed CRA")
            << QByteArray() << QStringLiteral("CRA") << QStringLiteral(" Video & Audio mute OFF");
        QTest::newRow("typed CR PRESSURE")
            << QByteArray() << QStringLiteral("CR PRESSURE") << QStringLiteral("980 hPa");
    }

    void everyStatusQueryIsDecoded()
    {
        QFETCH(QByteArray, control);
        QFETCH(QString, typed);
        QFETCH(QString, status);
        LivePanel live(sim_->link());
        if (control.isEmpty())
            live.typeAndSend(typed);
        else
            live.click(control.toStdString());
        QTRY_COMPARE_WITH_TIMEOUT(live.status(), status, kReplyBound);
    }

    void anUnknownCodeGetsTheErrorReply()
    {
        LivePanel live(sim_->link());
        live.typeAndSend(QStringLiteral("cr0"));
        QTRY_COMPARE_WITH_TIMEOUT(live.rxd(), QStringLiteral(" E R R CR "), kReplyBound);
        QCOMPARE(live.status(), QString());
        QTRY_VERIFY_WITH_TIMEOUT(sim_->linesWith(QStringLiteral("unknown code")) >= 1, kReplyBound);
    }

private:
    std::unique_ptr<SimProcess> sim_;
};

VX37_TEST(PowerSequenceE2ETest)
VX37_TEST(StatusQueryE2ETest)
#include "test_power_and_status.moc"
