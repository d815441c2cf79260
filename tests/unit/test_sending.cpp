#include "panel_fixture.h"

#include "commands/monitor_text.h"

#include "test_registry.h"

#include <QTest>

#include <set>

using namespace vx37;
using vx37::testing::PanelFixture;


class SendingTest : public QObject
{
    Q_OBJECT

private slots:
    void tableHoldsTheDesignedButtons()
    {
        std::map<ButtonKind, int> kinds;
        std::set<std::string_view> controls;
        for (const ButtonRow& row : buttonTable()) {
            ++kinds[row.kind];
            controls.insert(row.control);
        }
        QCOMPARE(buttonTable().size(), std::size_t(57));
        QCOMPARE(controls.size(), std::size_t(57));
        QCOMPARE(kinds[ButtonKind::P], 26);
        QCOMPARE(kinds[ButtonKind::G], 9);
        QCOMPARE(kinds[ButtonKind::S], 7);
        QCOMPARE(kinds[ButtonKind::M], 2);
        QCOMPARE(kinds[ButtonKind::H], 13);
    }

    // Every click button puts exactly its code and CR on the wire, echoes it, and arms
    // both timers with its kind's intervals.
    void clickSendsTheFrame_data()
    {
        QTest::addColumn<QByteArray>("control");
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<int>("replyTimeout");
        QTest::addColumn<int>("displayClear");
        // Written out here rather than read back from the table, so a wrong code fails.
        const struct { const char* control; const char* code; int reply, clear; } rows[] = {
            {"Command17", "C00", 500, 1000}, {"Command18", "C01", 500, 1000},
            {"Command27", "C05", 500, 1000}, {"Command28", "C06", 500, 1000},
            {"Command29", "C07", 500, 1000}, {"Command19", "C0B", 500, 1000},
            {"Command20", "C0C", 500, 1000}, {"Command21", "C0D", 500, 1000},
            {"Command22", "C0E", 500, 1000}, {"Command25", "C43", 500, 1000},
            {"Command26", "C44", 500, 1000}, {"Command23", "C1C", 500, 1000},
            {"Command24", "C1D", 500, 1000}, {"Command31", "C0F", 500, 1000},
            {"Command32", "C10", 500, 1000}, {"Command13", "C89", 500, 1000},
            {"Command30", "C27", 500, 1000}, {"Command14", "C8A", 500, 1000},
            {"Command3", "C1E", 500, 1000},  {"Command56", "CF KEYDIS NONE", 500, 1000},
            {"Command57", "CF KEYDIS RC", 500, 1000}, {"Command58", "CF KEYDIS KEY", 500, 1000},
            {"Command4", "C11", 2000, 2500}, {"Command10", "C12", 2000, 2500},
            {"Command11", "C13", 2000, 2500}, {"Command39", "C14", 2000, 2500},
            {"Command40", "C15", 2000, 2500}, {"Command41", "C16", 2000, 2500},
            {"Command42", "C17", 2000, 2500}, {"Command12", "C18", 2000, 2500},
            {"Command36", "C19", 2000, 2500}, {"Command44", "CR0", 500, 1000},
            {"Command45", "CR1", 500, 1000}, {"Command46", "CR3", 500, 1000},
            {"Command47", "CR4", 500, 1000}, {"Command54", "CR6", 500, 1000},
            {"Command52", "CR7", 500, 1000}, {"Command64", "CF INPUT1 ANALOG", 5000, 5500},
            {"Command72", "C25", 5000, 5500}, {"Command74", "C24", 5000, 5500},
            {"Command73", "C26", 5000, 5500}, {"Command81", "C32", 5000, 5500},
            {"Command82", "C33", 5000, 5500}, {"Command69", "C34", 5000, 5500},
        };
        for (const auto& row : rows) {
            QTest::newRow(row.control) << QByteArray(row.control)
                                       << QByteArray(row.code) + '\r' << row.reply << row.clear;
        }
    }

    void clickSendsTheFrame()
    {
        QFETCH(QByteArray, control);
        QFETCH(QByteArray, frame);
        QFETCH(int, replyTimeout);
        QFETCH(int, displayClear);
        PanelFixture f;
        f.click(control.toStdString());
        QCOMPARE(QByteArray::fromStdString(f.comm.written()), frame);
        QCOMPARE(f.comm.writes().size(), std::size_t(1));
        QCOMPARE(QByteArray::fromStdString(f.vars().lastFrame), frame);
        QCOMPARE(f.form().txdLine, renderMonitorText(frame.toStdString()));
        QCOMPARE(f.vars().awaitingReply, 1);
        QVERIFY(f.timer2.isActive() && f.timer4.isActive());
        QCOMPARE(f.timer2.interval(), replyTimeout);
        QCOMPARE(f.timer4.interval(), displayClear);
        QVERIFY(!f.timer1.isActive());
        QVERIFY(f.form().rxdLine.empty() && f.form().statusLine.empty());
    }

    void heldButtonsSendNothingOnAClick()
    {
        PanelFixture f;
        for (const ButtonRow& row : buttonTable()) {
            if (row.kind == ButtonKind::H)
                f.panel.Command_Click(row);
        }
        QVERIFY(f.comm.written().empty());
        QVERIFY(!f.timer1.isActive());
    }

    void intervalsSetByASenderStayForLaterSends_data()
    {
        QTest::addColumn<QByteArray>("first");
        QTest::addColumn<int>("replyTimeout");
        QTest::addColumn<int>("displayClear");
        QTest::newRow("after REAL") << QByteArray("Command10") << 2000 << 2500;
        QTest::newRow("after Auto") << QByteArray("Command81") << 5000 << 5500;
        QTest::newRow("after ON") << QByteArray("Command17") << 500 << 1000;
    }

    void intervalsSetByASenderStayForLaterSends()
    {
        QFETCH(QByteArray, first);
        QFETCH(int, replyTimeout);
        QFETCH(int, displayClear);
        PanelFixture f;
        f.click(first.toStdString());
        f.clock.advance(100);
        f.click("Command17");
        QCOMPARE(f.timer2.interval(), replyTimeout);
        QCOMPARE(f.timer4.interval(), displayClear);
        // Both count from the second send.
        QCOMPARE(f.timer2.dueAt(), 100 + replyTimeout);
        QCOMPARE(f.timer4.dueAt(), 100 + displayClear);
    }

    void menuOnAndAImageSetTheArrowRepeatWithoutStartingIt()
    {
        for (const char* control : {"Command23", "Command13"}) {
            PanelFixture f;
            f.press("Command1");
            f.release("Command1"); // leaves a 250 ms repeat period
            f.click(control);
            QCOMPARE(f.timer1.interval(), 200);
            QVERIFY(!f.timer1.isActive());
            QCOMPARE(f.vars().arrowMode, 1);
        }
        PanelFixture f;
        f.click("Command24"); // "MENU" "OFF" changes nothing of the arrows
        QCOMPARE(f.vars().arrowMode, 0);
    }

    void displayClearButtonIsAnOrdinarySend()
    {
        PanelFixture f;
        f.click("Command44");
        f.reply("00\r");
        f.click("Command3");
        QCOMPARE(f.form().txdLine, std::string(" C 1 E CR "));
        QCOMPARE(f.form().rxdLine, std::string(" 0 0 CR "));
        QCOMPARE(f.form().statusLine, std::string(" Power ON"));
    }

    void secondSendReplacesTheFirst()
    {
        PanelFixture f;
        f.click("Command17");
        f.clock.advance(100);
        f.click("Command18");
        QCOMPARE(f.vars().awaitingReply, 1);
        QCOMPARE(f.form().txdLine, std::string(" C 0 1 CR "));
        QCOMPARE(f.vars().lastFrame, std::string("C01\r"));
        f.clock.advance(450); // 550 ms after the first send: the time-out restarted
        QVERIFY(f.form().rxdLine.empty());
        f.clock.advance(50);
        QCOMPARE(f.form().rxdLine, std::string(" X X X X"));
    }
};

class ManualEntryTest : public QObject
{
    Q_OBJECT

private slots:
    void sendTakesTheTextAsTyped_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QByteArray>("shown");
        QTest::newRow("empty box sends a lone CR") << QString() << QByteArray("\r")
                                                   << QByteArray(" CR ");
        QTest::newRow("CR9") << QStringLiteral("CR9") << QByteArray("CR9\r")
                             << QByteArray(" C R 9 CR ");
        QTest::newRow("blanks and case kept") << QStringLiteral(" cr9 ") << QByteArray(" cr9 \r")
                                              << QByteArray("   c r 9   CR ");
        QTest::newRow("one token per typed character")
            << QString::fromUtf8("\u00e9\u65e5\U0001F600") << QByteArray("\xe9??\r")
            << QByteArray(" ? ? ? CR ");
    }

    void sendTakesTheTextAsTyped()
    {
        QFETCH(QString, typed);
        QFETCH(QByteArray, frame);
        QFETCH(QByteArray, shown);
        PanelFixture f;
        f.typeAndSend(typed);
        QCOMPARE(QByteArray::fromStdString(f.comm.written()), frame);
        QCOMPARE(QByteArray::fromStdString(f.vars().lastFrame), frame);
        QCOMPARE(QByteArray::fromStdString(f.form().txdLine), shown);
        QCOMPARE(f.timer2.interval(), 2000);
        QCOMPARE(f.timer4.interval(), 2500);
        QCOMPARE(f.form().text1, typed); // the box keeps its text
    }

    void typedStatusQueriesAreDecodedOnlyWhenExact()
    {
        PanelFixture f;
        f.typeAndSend(QStringLiteral("CR9"));
        f.reply("LAMP OK\r");
        QCOMPARE(f.form().statusLine, std::string(" L A M P   O K CR "));

        PanelFixture g;
        g.typeAndSend(QStringLiteral("cr9"));
        g.reply("LAMP OK\r");
        QCOMPARE(g.form().rxdLine, std::string(" L A M P   O K CR "));
        QVERIFY(g.form().statusLine.empty());
    }

    void sendTwiceSendsTwiceEachWithItsTimeOut()
    {
        PanelFixture f;
        f.typeAndSend(QStringLiteral("C00"));
        f.clock.advance(1000);
        f.panel.Command95_Click();
        QCOMPARE(f.comm.written(), std::string("C00\rC00\r"));
        QCOMPARE(f.timer2.dueAt(), 3000);
        f.click("Command17"); // later senders keep the pair 2000/2500
        QCOMPARE(f.timer2.interval(), 2000);
        QCOMPARE(f.timer4.interval(), 2500);
    }

    void clsEmptiesOnlyTheBox()
    {
        PanelFixture f;
        f.typeAndSend(QStringLiteral("CR9"));
        QSignalSpy changes(&f.panel, &Panel::propertyChanged);
        f.panel.Command96_Click();
        QVERIFY(f.form().text1.isEmpty());
        QCOMPARE(changes.count(), 1);
        QCOMPARE(changes.at(0).at(0).value<FormProperty>(), FormProperty::Text1);
        QCOMPARE(f.vars().manualCommand, std::string("CR9"));
        QCOMPARE(f.vars().lastFrame, std::string("CR9\r"));
        f.reply("X\r"); // a reply still coming is decoded as usual
        QCOMPARE(f.form().statusLine, std::string(" X CR "));
    }
};

VX37_TEST(SendingTest)
VX37_TEST(ManualEntryTest)
#include "test_sending.moc"
