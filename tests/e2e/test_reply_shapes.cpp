#include "live_panel.h"
#include "sim_process.h"

#include "test_registry.h"

#include <QElapsedTimer>
#include <QTest>

using namespace vx37;
using namespace vx37::testing;

class ReplyShapeE2ETest : public QObject
{
    Q_OBJECT

private slots:
    void aReplyInPiecesIsDecodedAsItGrows()
    {
        // "853" CR, one byte every 200 ms: all in before the typed command's 2000 ms time-out.
        SimProcess sim("--pieces 1 --piece-gap 200");
        QVERIFY2(sim.isServing(), qPrintable(sim.transcript()));
        LivePanel live(sim.link());

        QStringList rxdSeen;
        QStringList statusSeen;
        connect(&live.panel, &Panel::propertyChanged, this, [&](FormProperty property) {
            if (property == FormProperty::RxdLine)
                rxdSeen << live.rxd();
            else if (property == FormProperty::StatusLine)
                statusSeen << live.status();
        });
        live.typeAndSend(QStringLiteral("CR PRESSURE"));
        QTRY_COMPARE_WITH_TIMEOUT(live.rxd(), QStringLiteral(" 8 5 3 CR "), 5000);

        // Each piece re-renders and re-decodes the whole accumulator.
        QCOMPARE(rxdSeen, (QStringList{QStringLiteral(" 8 "), QStringLiteral(" 8 5 "),
                                       QStringLiteral(" 8 5 3 "), QStringLiteral(" 8 5 3 CR ")}));
        QCOMPARE(statusSeen, (QStringList{QStringLiteral("114 hPa"), QStringLiteral("196 hPa"),
                                          QStringLiteral("1013 hPa"), QStringLiteral("1013 hPa")}));
    }

    void aSilentProjectorIsMarkedAndTheLinesCleared()
    {
        SimProcess sim("--silent");
        QVERIFY2(sim.isServing(), qPrintable(sim.transcript()));
        LivePanel live(sim.link());

        QElapsedTimer sent;
        sent.start();
        live.click("Command44");
        QTRY_COMPARE_WITH_TIMEOUT(live.rxd(), QStringLiteral(" X X X X"), 5000);
        // The mark comes with the 500 ms reply time-out, never before it.
        QVERIFY2(sent.elapsed() >= 450, qPrintable(QString::number(sent.elapsed())));
        QCOMPARE(live.txd(), QStringLiteral(" C R 0 CR "));
        QCOMPARE(live.status(), QString());

        QTRY_VERIFY_WITH_TIMEOUT(live.txd().isEmpty() && live.rxd().isEmpty(), 5000);
        QVERIFY2(sent.elapsed() >= 950, qPrintable(QString::number(sent.elapsed())));
        QCOMPARE(live.status(), QString());
        // The projector heard it all the same.
        QCOMPARE(sim.linesWith(QStringLiteral("PC>VX37  C R 0 CR")), 1);
    }

    void unpromptedWordsAreShownAndNothingStaleIsRead()
    {
        SimProcess sim("--chatter 300");
        QVERIFY2(sim.isServing(), qPrintable(sim.transcript()));
        // Said before any panel listened: lost, as on a real line.
        QTRY_VERIFY_WITH_TIMEOUT(sim.linesWith(QStringLiteral("unprompted")) >= 3, 5000);

        LivePanel live(sim.link());
        QStringList rxdSeen;
        connect(&live.panel, &Panel::propertyChanged, this, [&](FormProperty property) {
            if (property == FormProperty::RxdLine)
                rxdSeen << live.rxd();
        });
        QTRY_VERIFY_WITH_TIMEOUT(rxdSeen.size() >= 2, 5000);
        // Without a send nothing ends the accumulation: each word is appended to the last.
        QCOMPARE(rxdSeen.at(0), QStringLiteral(" 8 0 CR "));
        QCOMPARE(rxdSeen.at(1), QStringLiteral(" 8 0 CR 8 0 CR "));
        QCOMPARE(live.status(), QString());
    }

    void aLateReplyIsStillDecoded()
    {
        SimProcess sim("--late 300");
        QVERIFY2(sim.isServing(), qPrintable(sim.transcript()));
        LivePanel live(sim.link());
        QElapsedTimer sent;
        sent.start();
        live.click("Command44");
        QTRY_COMPARE_WITH_TIMEOUT(live.status(), QStringLiteral(" Stand by"), 5000);
        QVERIFY(sent.elapsed() >= 290);
        QVERIFY(live.rxd() != QStringLiteral(" X X X X"));
    }
};

VX37_TEST(ReplyShapeE2ETest)
#include "test_reply_shapes.moc"
