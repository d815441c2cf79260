#include "live_panel.h"
#include "sim_process.h"

#include "test_registry.h"

#include <QTest>

#include <sys/resource.h>

using namespace vx37;
using namespace vx37::testing;

namespace {

// CPU time this process has used, in milliseconds.
qint64 cpuMilliseconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval& t) { return qint64(t.tv_sec) * 1000 + t.tv_usec / 1000; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

} // namespace

class LineFaultE2ETest : public QObject
{
    Q_OBJECT

private slots:
    void aSpeedMismatchGarblesTheReplyAndNothingIsDecoded()
    {
        SimProcess sim("--baud 9600");
        QVERIFY2(sim.isServing(), qPrintable(sim.transcript()));
        LivePanel live(sim.link()); // at 19200, as every run starts

        QStringList statusSeen;
        connect(&live.panel, &Panel::propertyChanged, this, [&](FormProperty property) {
            if (property == FormProperty::StatusLine)
                statusSeen << live.status();
        });
        live.click("Command44");
        QTRY_VERIFY_WITH_TIMEOUT(!live.rxd().isEmpty(), 5000);
        const QString garbled = live.rxd();
        QVERIFY2(garbled != QStringLiteral(" X X X X"), qPrintable(garbled));
        QVERIFY2(garbled != QStringLiteral(" 8 0 CR ") && garbled != QStringLiteral(" E R R CR "),
                 qPrintable(garbled));
        QTRY_VERIFY_WITH_TIMEOUT(sim.linesWith(QStringLiteral("garbled")) >= 1, 5000);
        QVERIFY(sim.linesWith(QStringLiteral("unreadable")) >= 1);
        // Until the display-clear step empties the lines, no decoder found anything.
        QTRY_VERIFY_WITH_TIMEOUT(live.rxd().isEmpty(), 5000);
        for (const QString& status : statusSeen)
            QCOMPARE(status, QString());

        // The same query at the projector's speed is understood.
        live.panel.Option10_Click(); // 9600
        live.click("Command44");
        QTRY_COMPARE_WITH_TIMEOUT(live.status(), QStringLiteral(" Stand by"), 5000);
    }

    void theDeviceVanishesAndTheOpenPortComesBackByItself()
    {
        SimProcess sim("--vanish-after 1 --come-back 2500");
        QVERIFY2(sim.isServing(), qPrintable(sim.transcript()));
        LivePanel live(sim.link());
        QSignalSpy lost(&live.comm, &SerialControl::deviceLost);

        live.click("Command44");
        QTRY_COMPARE_WITH_TIMEOUT(live.status(), QStringLiteral(" Stand by"), 5000);

        // The simulator closes its end after that answer: one warning, naming the device.
        QTRY_COMPARE_WITH_TIMEOUT(live.warnings.count(), 1, 5000);
        QVERIFY(live.warnings.first().first().toString().contains(sim.link()));
        QVERIFY(!live.comm.deviceConnected());
        QVERIFY(live.comm.isOpen()); // open as the program sees it, waiting for the device

        // No busy loop while the device is away: the process stays nearly idle.
        const qint64 cpuBefore = cpuMilliseconds();
        QTest::qWait(1000);
        const qint64 cpuUsed = cpuMilliseconds() - cpuBefore;
        QVERIFY2(cpuUsed < 300, qPrintable(QStringLiteral("%1 ms of CPU in 1 s").arg(cpuUsed)));

        // Sending meanwhile is harmless: nothing goes out, the time-out marks it.
        live.click("Command44");
        QTRY_COMPARE_WITH_TIMEOUT(live.rxd(), QStringLiteral(" X X X X"), 5000);

        // Back after 2.5 s, at the same link; the panel's retry reopens it.
        QTRY_VERIFY_WITH_TIMEOUT(sim.linesWith(QStringLiteral("line back")) == 1, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(live.comm.deviceConnected(), 5000);
        live.click("Command44");
        QTRY_COMPARE_WITH_TIMEOUT(live.status(), QStringLiteral(" Stand by"), 5000);

        QCOMPARE(live.warnings.count(), 1);
        QCOMPARE(lost.count(), 1);
    }
};

VX37_TEST(LineFaultE2ETest)
#include "test_line_faults.moc"
