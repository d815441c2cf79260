#include "live_panel.h"
#include "sim_process.h"

#include "test_registry.h"

#include <QElapsedTimer>
#include <QTest>

using namespace vx37;
using namespace vx37::testing;

class HeldButtonE2ETest : public QObject
{
    Q_OBJECT

private slots:
    void holdingVolumePlusForOneSecondMovesTheVolumeAboutFiveSteps()
    {
        SimProcess sim("--power on");
        QVERIFY2(sim.isServing(), qPrintable(sim.transcript()));
        LivePanel live(sim.link());

        int sends = 0;
        connect(&live.panel, &Panel::propertyChanged, this, [&](FormProperty property) {
            if (property == FormProperty::TxdLine && live.txd() == QStringLiteral(" C 0 9 CR "))
                ++sends;
        });
        live.press("Command1"); // VOL +
        QTest::qWait(1000);     // held for one second
        live.release("Command1");

        // A press and a repeat every 250 ms: about five frames, and every one of them
        // reached the projector and moved its volume by one.
        QVERIFY2(sends >= 4 && sends <= 7, qPrintable(QString::number(sends)));
        QTRY_COMPARE_WITH_TIMEOUT(sim.volume(), std::optional<int>(20 + sends), 5000);
        QCOMPARE(sim.linesWith(QStringLiteral("PC>VX37  C 0 9 CR")), sends);

        // Released: nothing more is sent.
        QTest::qWait(600);
        QCOMPARE(sends, sim.linesWith(QStringLiteral("PC>VX37  C 0 9 CR")));
        QCOMPARE(sim.volume(), std::optional<int>(20 + sends));
    }
};

VX37_TEST(HeldButtonE2ETest)
#include "test_held_buttons_live.moc"
