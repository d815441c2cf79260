#include "panel_fixture.h"

#include "test_registry.h"

#include <QTest>

using namespace vx37;
using vx37::testing::PanelFixture;

namespace {

// The frames written so far, counted.
int framesSent(const PanelFixture& f)
{
    return static_cast<int>(f.comm.writes().size());
}

} // namespace

class HeldButtonTest : public QObject
{
    Q_OBJECT

private slots:
    void pressRepeatsWithItsOwnSettings_data()
    {
        QTest::addColumn<QByteArray>("control");
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<int>("repeatCode");
        QTest::addColumn<int>("period");
        QTest::addColumn<int>("replyTimeout");
        QTest::addColumn<int>("displayClear");
        QTest::newRow("VOL +") << QByteArray("Command1") << QByteArray("C09\r") << 1 << 250 << 200 << 245;
        QTest::newRow("VOL -") << QByteArray("Command2") << QByteArray("C0A\r") << 2 << 250 << 200 << 245;
        QTest::newRow("Brightness +") << QByteArray("Command15") << QByteArray("C20\r") << 7 << 50 << 25 << 25;
        QTest::newRow("Brightness -") << QByteArray("Command35") << QByteArray("C21\r") << 8 << 50 << 25 << 25;
        QTest::newRow("SELECT") << QByteArray("Command6") << QByteArray("C3F\r") << 13 << 500 << 200 << 245;
        QTest::newRow("D.Zoom +") << QByteArray("Command48") << QByteArray("C30\r") << 17 << 250 << 200 << 245;
        QTest::newRow("D.Zoom -") << QByteArray("Command49") << QByteArray("C31\r") << 18 << 250 << 200 << 245;
        QTest::newRow("Keystone +") << QByteArray("Command50") << QByteArray("C8E\r") << 19 << 250 << 200 << 245;
        QTest::newRow("Keystone -") << QByteArray("Command51") << QByteArray("C8F\r") << 20 << 250 << 200 << 245;
    }

    void pressRepeatsWithItsOwnSettings()
    {
        QFETCH(QByteArray, control);
        QFETCH(QByteArray, frame);
        QFETCH(int, repeatCode);
        QFETCH(int, period);
        QFETCH(int, replyTimeout);
        QFETCH(int, displayClear);
        PanelFixture f;
        f.press(control.toStdString());
        QCOMPARE(framesSent(f), 1); // at once, no initial delay
        QCOMPARE(int(f.vars().repeatCode), repeatCode);
        QCOMPARE(f.timer1.interval(), period);
        QCOMPARE(f.timer2.interval(), replyTimeout);
        QCOMPARE(f.timer4.interval(), displayClear);
        QVERIFY(f.timer1.isActive());

        f.clock.advance(1000);
        QCOMPARE(framesSent(f), 1 + 1000 / period);
        for (const std::string& write : f.comm.writes())
            QCOMPARE(QByteArray::fromStdString(write), frame);
        f.release(control.toStdString());
        f.clock.advance(5000);
        QCOMPARE(framesSent(f), 1 + 1000 / period);
    }

    void arrowsTakeTheirTimingFromWhatCameBefore_data()
    {
        QTest::addColumn<QByteArrayList>("before"); // clicks, or +X for a press and release of X
        QTest::addColumn<int>("period");
        QTest::addColumn<int>("replyTimeout");
        QTest::addColumn<int>("displayClear");
        QTest::newRow("mode 0 after start-up") << QByteArrayList{} << 200 << 500 << 1000;
        QTest::newRow("mode 0 after REAL") << QByteArrayList{"Command10"} << 200 << 2000 << 2500;
        QTest::newRow("mode 1 after MENU ON") << QByteArrayList{"Command23"} << 200 << 150 << 190;
        QTest::newRow("mode 1 after A-IMAGE") << QByteArrayList{"Command13"} << 200 << 150 << 190;
        QTest::newRow("mode 1 kept by MENU OFF")
            << QByteArrayList{"Command23", "Command24"} << 200 << 150 << 190;
        QTest::newRow("mode 3 after D.Zoom +") << QByteArrayList{"+Command48"} << 5 << 5 << 5;
        QTest::newRow("mode 3 after D.Zoom -") << QByteArrayList{"+Command49"} << 5 << 5 << 5;
        QTest::newRow("mode 3, period from VOL")
            << QByteArrayList{"+Command48", "+Command1"} << 250 << 5 << 5;
        QTest::newRow("mode 0, period from Brightness") << QByteArrayList{"+Command15"} << 50 << 500 << 1000;
    }

    void arrowsTakeTheirTimingFromWhatCameBefore()
    {
        QFETCH(QByteArrayList, before);
        QFETCH(int, period);
        QFETCH(int, replyTimeout);
        QFETCH(int, displayClear);
        PanelFixture f;
        for (const QByteArray& step : before) {
            if (step.startsWith('+')) {
                f.press(step.mid(1).toStdString());
                f.release(step.mid(1).toStdString());
            } else {
                f.click(step.toStdString());
            }
        }
        f.comm.clearWritten();
        f.press("Command5");
        QCOMPARE(f.timer1.interval(), period);
        QCOMPARE(f.timer2.interval(), replyTimeout);
        QCOMPARE(f.timer4.interval(), displayClear);
        f.clock.advance(1000);
        QCOMPARE(framesSent(f), 1 + 1000 / period);
        QCOMPARE(QByteArray::fromStdString(f.comm.writes().back()), QByteArray("C3C\r"));
    }

    void eachArrowSendsItsCode()
    {
        const std::pair<const char*, const char*> arrows[] = {
            {"Command5", "C3C\r"}, {"Command7", "C3D\r"}, {"Command9", "C3B\r"}, {"Command8", "C3A\r"}};
        for (const auto& [control, frame] : arrows) {
            PanelFixture f;
            f.press(control);
            f.clock.advance(200);
            f.release(control);
            QCOMPARE(f.comm.written(), std::string(frame) + frame);
        }
    }

    void releaseStopsTheRepeatAndClearsTheLines()
    {
        PanelFixture f;
        f.click("Command10"); // 2000/2500, not restored by the release
        f.click("Command44");
        f.reply("00\r");
        QCOMPARE(f.form().statusLine, std::string(" Power ON"));
        f.press("Command5"); // "↑" before any mode keeps the time-outs it finds
        f.clock.advance(300);
        f.reply("\x06");
        f.release("Command5");
        QCOMPARE(f.vars().repeatCode, 0);
        QVERIFY(!f.timer1.isActive());
        QVERIFY(!f.timer2.isActive());
        QVERIFY(f.timer4.isActive());
        QCOMPARE(f.timer2.interval(), 500);
        QCOMPARE(f.timer4.interval(), 1000);
        QVERIFY(f.form().txdLine.empty());
        QVERIFY(f.form().rxdLine.empty());
        QCOMPARE(f.form().statusLine, std::string(" Power ON")); // until the clear
        QVERIFY(f.vars().rxBuffer.empty());
        f.clock.advance(999);
        QCOMPARE(f.form().statusLine, std::string(" Power ON"));
        f.clock.advance(1);
        QVERIFY(f.form().statusLine.empty());
        QVERIFY(f.form().rxdLine.empty()); // no " X X X X" follows a release
    }

    void releaseBeforeTheFirstRepeatSendsNothingMore()
    {
        PanelFixture f;
        f.press("Command50");
        f.clock.advance(249);
        f.release("Command50");
        f.clock.advance(2000);
        QCOMPARE(f.comm.writes().size(), std::size_t(1));
    }

    void releaseWithoutPressRunsTheStepAgain()
    {
        PanelFixture f;
        f.release("Command2");
        QVERIFY(f.comm.written().empty());
        QVERIFY(f.timer4.isActive());
        QCOMPARE(f.timer2.interval(), 500);
    }

    void repeatRebuildsTheFrameAfterAnotherSend()
    {
        PanelFixture f;
        f.press("Command1");
        f.click("Command44"); // another send while VOL + is held
        f.clock.advance(250);
        QCOMPARE(f.comm.writes().back(), std::string("C09\r"));
        QCOMPARE(f.vars().lastFrame, std::string("C09\r"));
    }

    void secondPressRestartsTheRepeat()
    {
        PanelFixture f;
        f.press("Command1");
        f.clock.advance(200);
        f.press("Command1"); // another mouse button on the same button
        QCOMPARE(f.comm.writes().size(), std::size_t(2));
        QCOMPARE(f.timer1.dueAt(), 450);
    }

    void periodStaysExactOverLongHolds()
    {
        PanelFixture f;
        f.press("Command48");
        f.release("Command48");
        f.comm.clearWritten();
        f.press("Command5"); // 5 ms repeat
        f.clock.advance(60000);
        QCOMPARE(f.comm.writes().size(), std::size_t(1 + 60000 / 5));
    }
};

VX37_TEST(HeldButtonTest)
#include "test_held_buttons.moc"
