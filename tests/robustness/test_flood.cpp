#include "flood_scenario.h"
#include "resident_memory.h"

#include "test_registry.h"

#include <QMetaEnum>
#include <QTest>

#include "app/panel.h"

class FloodTest : public QObject
{
    Q_OBJECT

private slots:
    void aMebibyteOfNoiseLeavesThePanelResponsiveBoundedAndAnswering()
    {
        const FloodFigures f = runFlood(1 << 20);
        QVERIFY2(f.failure.isEmpty(), qPrintable(f.failure));
        qInfo("flood of %lld bytes read in %.2f s, %lld receive events; longest event %.1f ms "
              "(%s) of %lld; %d heartbeats of 10 ms missed; resident %ld KiB before, %ld "
              "highest, %ld after",
              f.floodBytes, f.floodSeconds, f.receiveEvents, f.longestEventMs,
              QMetaEnum::fromType<QEvent::Type>().valueToKey(f.longestEventType), f.eventsTimed,
              f.heartbeatsMissed, f.residentBeforeKiB, f.residentHighestKiB, f.residentAfterKiB);

        // The noise filled the accumulator up to its limit, and never past it.
        QCOMPARE(f.longestAccumulator, vx37::Panel::kMaxTextLength);
        // Many receive events, none of which held the loop for long. The bound is loose
        // (a full accumulator renders in about a millisecond): a busy machine or a
        // sanitizer build must not fail it, a hang or a quadratic blow-up does.
        QVERIFY(f.receiveEvents > 10);
        QVERIFY2(f.longestEventMs < 500, qPrintable(QString::number(f.longestEventMs)));
        // Memory: what the panel keeps is bounded by the accumulator; the sanitizer's
        // quarantine holds freed blocks on top.
        const long boundKiB = kAddressSanitizer ? 512 * 1024 : 64 * 1024;
        QVERIFY2(f.residentHighestKiB - f.residentBeforeKiB < boundKiB,
                 qPrintable(QString::number(f.residentHighestKiB - f.residentBeforeKiB)));
        // The query sent amid the noise went out, and its answer went into the stream
        // behind the random bytes, none of them lost: 1 MiB and one "00" CR.
        QVERIFY2(f.floodEnd.contains(QLatin1String("flood done: 1048579 bytes written")),
                 qPrintable(f.floodEnd));
        QCOMPARE(f.queriesHeard, 4);
        // Afterwards the line is as good as before.
        QCOMPARE(f.rxdAfter, QStringLiteral(" 0 0 CR "));
        QCOMPARE(f.statusAfter, QStringLiteral(" Power ON"));
    }
};

VX37_TEST(FloodTest)
#include "test_flood.moc"
