#include "panel_fixture.h"

#include "commands/monitor_text.h"
#include "replies/status_decoders.h"

#include "test_registry.h"

#include <QTest>

using namespace vx37;
using vx37::testing::PanelFixture;

class ReceivingTest : public QObject
{
    Q_OBJECT

private slots:
    // The STATUS request of the panel's overview, step by step with its timings.
    void statusRequestStepByStep()
    {
        PanelFixture f;
        f.click("Command44");
        QCOMPARE(f.comm.written(), std::string("CR0\r"));
        QCOMPARE(f.form().txdLine, std::string(" C R 0 CR "));
        QCOMPARE(f.timer2.dueAt(), 500);
        QCOMPARE(f.timer4.dueAt(), 1000);
        QCOMPARE(f.vars().awaitingReply, 1);

        f.clock.advance(20);
        f.reply("0");
        QCOMPARE(f.form().rxdLine, std::string(" 0 "));
        QVERIFY(f.form().statusLine.empty());
        QCOMPARE(f.vars().awaitingReply, 0);
        f.reply("0\r");
        QCOMPARE(f.form().rxdLine, std::string(" 0 0 CR "));
        QCOMPARE(f.form().statusLine, std::string(" Power ON"));

        f.clock.advanceTo(500);
        QCOMPARE(f.form().rxdLine, std::string(" 0 0 CR ")); // no mark once a reply came
        QVERIFY(f.vars().rxBuffer.empty());
        QVERIFY(!f.timer2.isActive());
        f.clock.advanceTo(999);
        QCOMPARE(f.form().statusLine, std::string(" Power ON"));
        f.clock.advanceTo(1000);
        QVERIFY(f.form().txdLine.empty() && f.form().rxdLine.empty() &&
                f.form().statusLine.empty());
        QVERIFY(!f.timer4.isActive());
    }

    void silenceIsMarkedThenCleared_data()
    {
        QTest::addColumn<QByteArray>("control");
        QTest::addColumn<int>("timeout");
        QTest::newRow("ON: 500/1000") << QByteArray("Command17") << 500;
        QTest::newRow("REAL: 2000/2500") << QByteArray("Command10") << 2000;
        QTest::newRow("Auto: 5000/5500") << QByteArray("Command81") << 5000;
    }

    void silenceIsMarkedThenCleared()
    {
        QFETCH(QByteArray, control);
        QFETCH(int, timeout);
        PanelFixture f;
        f.click(control.toStdString());
        f.clock.advance(timeout - 1);
        QVERIFY(f.form().rxdLine.empty());
        f.clock.advance(1);
        QCOMPARE(f.form().rxdLine, std::string(" X X X X"));
        QVERIFY(!f.form().txdLine.empty());
        QCOMPARE(f.vars().awaitingReply, 0);
        f.clock.advance(499);
        QCOMPARE(f.form().rxdLine, std::string(" X X X X"));
        f.clock.advance(1);
        QVERIFY(f.form().rxdLine.empty() && f.form().txdLine.empty());
    }

    void replyToAnOrdinaryCommandIsOnlyShown()
    {
        PanelFixture f;
        f.click("Command44");
        f.reply("80\r");
        f.click("Command17");
        f.reply("\x06\r");
        QCOMPARE(f.form().rxdLine, std::string(" 8 0 CR ACK CR "));
        QCOMPARE(f.form().statusLine, std::string(" Stand by"));
    }

    void otherEventCodesChangeNothing()
    {
        PanelFixture f;
        f.click("Command44");
        f.comm.raiseEvent(1);
        f.comm.raiseEvent(1004);
        QCOMPARE(f.vars().awaitingReply, 1);
        QVERIFY(f.form().rxdLine.empty());
        QVERIFY(f.vars().rxBuffer.empty());
    }

    void emptyReadShowsTheAccumulatorAgain()
    {
        PanelFixture f;
        f.click("Command44");
        f.reply("0");
        f.comm.raiseEvent(SerialControl::kEventReceive); // nothing waiting
        QCOMPARE(f.vars().rxBuffer, std::string("0"));
        QCOMPARE(f.form().rxdLine, std::string(" 0 "));
    }

    void lateReplyReplacesTheMarkAndIsDecoded()
    {
        PanelFixture f;
        f.click("Command44");
        f.clock.advance(500);
        QCOMPARE(f.form().rxdLine, std::string(" X X X X"));
        f.reply("40\r");
        QCOMPARE(f.form().rxdLine, std::string(" 4 0 CR "));
        QCOMPARE(f.form().statusLine, std::string(" Count down"));
    }

    void replySpanningTheTimeOutLosesItsHead()
    {
        PanelFixture f;
        f.click("Command46");
        f.reply("12");
        f.clock.advance(500);
        f.reply("34\r");
        QCOMPARE(f.form().rxdLine, std::string(" 3 4 CR "));
        QCOMPARE(f.form().statusLine, std::string(" 3 4 CR  Hour Use"));
    }

    void lateCharactersStayUntilTheNextTimeOut()
    {
        PanelFixture f;
        f.click("Command44");
        f.clock.advance(1000);
        f.reply("Z"); // after the time-out: a new accumulation no timer ends
        f.clock.advance(5000);
        QCOMPARE(f.vars().rxBuffer, std::string("Z"));
        f.click("Command44");
        f.reply("00\r");
        QCOMPARE(f.form().rxdLine, std::string(" Z 0 0 CR "));
        QCOMPARE(f.form().statusLine, std::string(" Power ON")); // the Z came before the query
        f.clock.advance(500);
        QVERIFY(f.vars().rxBuffer.empty());
    }

    void unpromptedCharactersAreDecodedAgainstTheLastFrame()
    {
        PanelFixture f;
        f.typeAndSend(QStringLiteral("CR PRESSURE"));
        f.reply("5");
        QCOMPARE(f.form().statusLine, std::string("111 hPa"));
        f.reply("12\r");
        QCOMPARE(f.form().statusLine, std::string("650 hPa"));
        QCOMPARE(int(f.vars().pressureValue), 650);
        f.clock.advance(3000);
        f.reply("1023\r"); // the projector speaks by itself
        QCOMPARE(f.form().statusLine, std::string("1194 hPa"));
    }

    // Within one accumulation every query is decoded from its own reply, while the RXD
    // line shows everything. Steps: "click Command", "type TEXT", "reply BYTES".
    void eachQueryIsDecodedFromItsOwnReply_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QByteArray>("rxdLine");
        QTest::addColumn<QByteArray>("status");
        QTest::newRow("STATUS then SETTING")
            << QStringList{"click Command44", "reply 00\r", "click Command47", "reply 11\r"}
            << QByteArray(" 0 0 CR 1 1 CR ") << QByteArray(" Normally");
        QTest::newRow("STATUS twice, the state changed")
            << QStringList{"click Command44", "reply 80\r", "click Command44", "reply 00\r"}
            << QByteArray(" 8 0 CR 0 0 CR ") << QByteArray(" Power ON");
        // The earlier reply's tail comes first in what SETTING reads: no entry, nothing false.
        QTest::newRow("a reply split across the second send")
            << QStringList{"click Command44", "reply 8", "click Command47", "reply 0\r11\r"}
            << QByteArray(" 8 0 CR 1 1 CR ") << QByteArray();
        QTest::newRow("a typed query after a button query")
            << QStringList{"click Command46", "reply 1234\r", "type CR PRESSURE", "reply 100\r"}
            << QByteArray(" 1 2 3 4 CR 1 0 0 CR ") << QByteArray("212 hPa");
        QTest::newRow("sent, nothing of its reply yet: the status stays")
            << QStringList{"click Command44", "reply 00\r", "type CR9", "reply "}
            << QByteArray(" 0 0 CR ") << QByteArray(" Power ON");
    }

    void eachQueryIsDecodedFromItsOwnReply()
    {
        QFETCH(QStringList, steps);
        QFETCH(QByteArray, rxdLine);
        QFETCH(QByteArray, status);
        PanelFixture f;
        for (const QString& step : steps) {
            const QString action = step.section(QLatin1Char(' '), 0, 0);
            const QString argument = step.section(QLatin1Char(' '), 1);
            if (action == QLatin1String("click"))
                f.click(argument.toStdString());
            else if (action == QLatin1String("type"))
                f.typeAndSend(argument);
            else if (argument.isEmpty())
                f.comm.raiseEvent(SerialControl::kEventReceive); // an empty read
            else
                f.reply(argument.toStdString());
            f.clock.advance(150);
        }
        QCOMPARE(QByteArray::fromStdString(f.form().rxdLine), rxdLine);
        QCOMPARE(QByteArray::fromStdString(f.form().statusLine), status);
    }

    void outOfRangePressureIsSaidPlainly()
    {
        PanelFixture f;
        f.typeAndSend(QStringLiteral("CR PRESSURE"));
        f.reply("1E300\r");
        QCOMPARE(f.form().statusLine, std::string(kPressureOutOfRange));
    }

    void eachQueryRunsOnlyItsOwnDecoder_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QByteArray>("status");
        QTest::newRow("CR0") << QStringLiteral("CR0") << QByteArray("80\r") << QByteArray(" Stand by");
        QTest::newRow("CR1") << QStringLiteral("CR1") << QByteArray("3\r") << QByteArray(" Video");
        QTest::newRow("CR3") << QStringLiteral("CR3") << QByteArray("7\r") << QByteArray(" 7 CR  Hour Use");
        QTest::newRow("CR4") << QStringLiteral("CR4") << QByteArray("11\r") << QByteArray(" Normally");
        QTest::newRow("CR6") << QStringLiteral("CR6") << QByteArray("1\r")
                             << QByteArray("  S1= 1 CR  C  ,   S2=  C , S3= C");
        QTest::newRow("CR7") << QStringLiteral("CR7") << QByteArray("03\r")
                             << QByteArray(" No1,2 ON  : 2 Lamp mode");
        QTest::newRow("CR9") << QStringLiteral("CR9") << QByteArray("00\r") << QByteArray(" 0 0 CR ");
        QTest::newRow("CRA") << QStringLiteral("CRA") << QByteArray("80\r") << QByteArray(" No signal");
        QTest::newRow("CR PRESSURE") << QStringLiteral("CR PRESSURE") << QByteArray("100\r")
                                     << QByteArray("212 hPa");
        QTest::newRow("cr0 runs none") << QStringLiteral("cr0") << QByteArray("00\r") << QByteArray();
        QTest::newRow("CR0 and a blank runs none") << QStringLiteral("CR0 ") << QByteArray("00\r")
                                                   << QByteArray();
        QTest::newRow("CR2 is no query") << QStringLiteral("CR2") << QByteArray("00\r") << QByteArray();
    }

    void eachQueryRunsOnlyItsOwnDecoder()
    {
        QFETCH(QString, typed);
        QFETCH(QByteArray, reply);
        QFETCH(QByteArray, status);
        PanelFixture f;
        f.typeAndSend(typed);
        f.reply(reply.toStdString());
        QCOMPARE(QByteArray::fromStdString(f.form().statusLine), status);
    }

    // The accumulator stops at the longest text Hyouji takes and keeps its head.
    void accumulatorKeepsItsHeadAtTheLimit()
    {
        PanelFixture f;
        f.click("Command44");
        f.reply("00\r");
        f.reply(std::string(20000, 'A'));
        f.reply(std::string(20000, '\xff'));
        QCOMPARE(f.vars().rxBuffer.size(), Panel::kMaxTextLength);
        QCOMPARE(f.vars().rxBuffer.substr(0, 4), std::string("00\rA"));
        QCOMPARE(f.form().rxdLine.size(), monitorTextLength(f.vars().rxBuffer));
        QCOMPARE(f.form().statusLine, std::string(" Power ON"));
        f.reply("more");
        QCOMPARE(f.vars().rxBuffer.size(), Panel::kMaxTextLength);
        f.clock.advance(500); // the time-out empties it as usual
        QVERIFY(f.vars().rxBuffer.empty());
        f.reply("80\r");
        QCOMPARE(f.form().rxdLine, std::string(" 8 0 CR "));
    }
};

VX37_TEST(ReceivingTest)
#include "test_receiving.moc"
