#include "unplug_scenario.h"

#include "test_registry.h"

#include <QTest>

class UnplugCycleTest : public QObject
{
    Q_OBJECT

private slots:
    void theDeviceGoesAndComesBackAHundredTimes()
    {
        // A 50 ms retry instead of the panel's 1 s keeps a hundred cycles within a minute.
        constexpr int kCycles = 100;
        const UnplugFigures f = runUnplugCycles(kCycles, 150, 50);
        QVERIFY2(f.failure.isEmpty(), qPrintable(f.failure));
        qInfo("%d cycles in %.1f s, longest %.0f ms; %d warnings; %d STATUS answered; "
              "resident %ld KiB after the first cycle, %ld after the last",
              f.cycles, f.seconds, f.longestCycleMs, f.warnings, f.answeredStatus,
              f.residentAfterFirstKiB, f.residentAfterLastKiB);
        QCOMPARE(f.cycles, kCycles);
        // Each loss reported once, and the port usable after each return.
        QCOMPARE(f.warnings, kCycles);
        QVERIFY(f.answeredStatus >= kCycles + 1);
    }
};

VX37_TEST(UnplugCycleTest)
#include "test_unplug_cycles.moc"
