#include "panel_fixture.h"

#include "link/serial/port_names.h"

#include "test_registry.h"

#include <QTest>

using namespace vx37;
using vx37::testing::PanelFixture;

class StartUpTest : public QObject
{
    Q_OBJECT

private slots:
    void opensCom1AtNineteenTwoHundredInTheCompactView()
    {
        PanelFixture f;
        QVERIFY(f.comm.isOpen());
        QCOMPARE(f.comm.commPort(), 1);
        QCOMPARE(f.comm.settings(), std::string("19200,N,8,1"));
        QCOMPARE(f.comm.openCount(), 2); // opened, then closed and opened again by COM1
        QCOMPARE(f.vars().commSettings, std::string("19200,N,8,1"));
        QVERIFY(f.vars().commandPrefix.empty());
        QVERIFY(f.form().option1Selected && !f.form().option2Selected);
        QVERIFY(f.form().option9Selected && !f.form().option10Selected);
        QVERIFY(!f.form().frame8Visible);
        QVERIFY(!f.form().command34Visible);
        QCOMPARE(f.form().height, kCompactHeight);
        QCOMPARE(f.warnings.count(), 0);
        for (IntervalTimer* timer : {&f.timer1, &f.timer2, &f.timer3, &f.timer4}) // NOLINT
            QVERIFY(!timer->isActive());
        QCOMPARE(f.timer1.interval(), 200);
        QCOMPARE(f.timer2.interval(), 500);
        QCOMPARE(f.timer3.interval(), 5000);
        QCOMPARE(f.timer4.interval(), 1000);
    }

    void centresWithTheDesignedSizeThenCutsKeepingTheTop_data()
    {
        QTest::addColumn<int>("screenHeight");
        QTest::addColumn<int>("top");
        // Designed outer size in the fixture: 9615 x 9180 twips.
        QTest::newRow("1080 lines") << 1080 * 15 << (16200 - 9180) / 2;
        QTest::newRow("screen lower than the window: above the top, no clamping")
            << 480 * 15 << (7200 - 9180) / 2;
    }

    void centresWithTheDesignedSizeThenCutsKeepingTheTop()
    {
        QFETCH(int, screenHeight);
        QFETCH(int, top);
        PanelFixture f(false);
        ScreenMetrics screen = PanelFixture::kScreen;
        screen.screenHeight = screenHeight;
        f.panel.Form_Load(screen);
        QCOMPARE(f.form().top, top);
        QCOMPARE(f.form().left, (1920 * 15 - 9615) / 2);
        QCOMPARE(f.form().height, kCompactHeight);
    }

    void withoutCom1StartUpWarnsOnceThenAChoiceOpens_data()
    {
        QTest::addColumn<int>("refusedAfter");
        QTest::newRow("no COM1") << 0;
        QTest::newRow("COM1 opens, its reopen fails") << 1;
    }

    void withoutCom1StartUpWarnsOnceThenAChoiceOpens()
    {
        QFETCH(int, refusedAfter);
        PanelFixture f(false);
        f.comm.refuseOpening(1, QStringLiteral("no COM1 here"), refusedAfter);
        f.panel.Form_Load(PanelFixture::kScreen);
        QCOMPARE(f.warnings.count(), 1);
        QCOMPARE(f.warnings.at(0).at(0).toString(), QStringLiteral("no COM1 here"));
        QVERIFY(!f.comm.isOpen());
        QVERIFY(f.form().option1Selected);

        f.click("Command17"); // a send on the closed port writes nothing and does not fail
        QVERIFY(f.comm.written().empty());
        QCOMPARE(f.form().txdLine, std::string(" C 0 0 CR "));

        f.panel.Command33_Click();
        f.panel.Option2_Click();
        QVERIFY(f.comm.isOpen());
        QCOMPARE(f.comm.commPort(), 2);
        QVERIFY(!f.form().frame8Visible);
        QCOMPARE(f.warnings.count(), 1);
    }
};

class PortChoiceTest : public QObject
{
    Q_OBJECT

private slots:
    void com2ReopensOnTheOtherPortWithoutAWord()
    {
        PanelFixture f;
        f.panel.Command33_Click();
        QVERIFY(f.form().frame8Visible);
        f.panel.Option2_Click();
        QVERIFY(f.comm.isOpen());
        QCOMPARE(f.comm.commPort(), 2);
        QCOMPARE(f.comm.settings(), std::string("19200,N,8,1"));
        QVERIFY(!f.form().frame8Visible);
        QVERIFY(!f.form().option1Selected && f.form().option2Selected);
        QVERIFY(f.form().option9Selected); // the speed choice is left alone
        QCOMPARE(f.warnings.count(), 0);
    }

    void failedChangeLeavesThePortClosedAndEveryLaterChoiceTriesAgain()
    {
        PanelFixture f;
        f.comm.refuseOpening(2, QStringLiteral("COM2: busy"));
        f.panel.Command33_Click();
        f.panel.Option2_Click();
        QCOMPARE(f.warnings.count(), 1);
        QCOMPARE(f.warnings.at(0).at(0).toString(), QStringLiteral("COM2: busy"));
        QVERIFY(!f.comm.isOpen());
        QCOMPARE(f.comm.commPort(), 1);
        QVERIFY(f.form().frame8Visible);
        QVERIFY(f.form().option2Selected);

        f.panel.Option2_Click(); // still refused: the same warning again
        QCOMPARE(f.warnings.count(), 2);
        QVERIFY(!f.comm.isOpen());

        f.panel.Option1_Click(); // the warning's advice works: COM1 opens
        QVERIFY(f.comm.isOpen());
        QCOMPARE(f.comm.commPort(), 1);
        QVERIFY(!f.form().frame8Visible);
        f.click("Command17");
        QCOMPARE(f.comm.written(), std::string("C00\r"));

        f.comm.allowOpening(2); // the other program let go of COM2
        f.panel.Option2_Click();
        QVERIFY(f.comm.isOpen());
        QCOMPARE(f.comm.commPort(), 2);
        QCOMPARE(f.warnings.count(), 2);

        // The option-frame timer armed by "COM" still runs out as usual.
        QVERIFY(f.timer3.isActive());
        f.clock.advance(5000);
        QVERIFY(!f.timer3.isActive());
    }

    void speedChangesAtOnceOnTheOpenPort()
    {
        PanelFixture f;
        f.panel.Command33_Click();
        f.clock.advance(1000);
        f.panel.Option10_Click();
        QCOMPARE(f.comm.settings(), std::string("9600,N,8,1"));
        QCOMPARE(f.vars().commSettings, std::string("9600,N,8,1"));
        QVERIFY(f.comm.isOpen());
        QCOMPARE(f.comm.openCount(), 2); // neither closed nor reopened
        QVERIFY(!f.form().frame8Visible);
        QVERIFY(f.form().option10Selected && !f.form().option9Selected);
        QVERIFY(f.form().option1Selected); // the port choice is left alone
        QVERIFY(f.timer3.isActive());      // and so is the option-frame timer
        f.panel.Option9_Click();
        QCOMPARE(f.comm.settings(), std::string("19200,N,8,1"));
    }

    void optionFrameHidesItselfFiveSecondsAfterCom()
    {
        PanelFixture f;
        f.panel.Command33_Click();
        f.clock.advance(4999);
        QVERIFY(f.form().frame8Visible);
        f.clock.advance(1);
        QVERIFY(!f.form().frame8Visible);
        QVERIFY(!f.timer3.isActive());
        f.panel.Command33_Click(); // "COM" works again once the frame is hidden
        QVERIFY(f.form().frame8Visible);
    }

    void endClosesThePortAndEndsEvenWhenClosed()
    {
        for (const bool closedFirst : {false, true}) {
            PanelFixture f;
            QSignalSpy ended(&f.panel, &Panel::ended);
            if (closedFirst)
                f.comm.close();
            f.panel.Command16_Click();
            QVERIFY(!f.comm.isOpen());
            QCOMPARE(ended.count(), 1);
        }
    }
};

class DeviceLossTest : public QObject
{
    Q_OBJECT

private slots:
    void lossIsReportedOnceAndSendsWriteNothingUntilTheDeviceReturns()
    {
        PanelFixture f;
        f.comm.vanish();
        f.comm.vanish();
        QCOMPARE(f.warnings.count(), 1);
        QVERIFY(f.warnings.at(0).at(0).toString().contains(MemorySerialControl::memoryPortName(1)));

        f.click("Command44");
        QVERIFY(f.comm.written().empty());
        QCOMPARE(f.vars().lastFrame, std::string("CR0\r"));
        QCOMPARE(f.vars().awaitingReply, 1);
        f.clock.advance(500);
        QCOMPARE(f.form().rxdLine, std::string(" X X X X"));

        f.comm.comeBack();
        f.click("Command44");
        QCOMPARE(f.comm.written(), std::string("CR0\r"));
        QCOMPARE(f.warnings.count(), 1);
    }

    void portChangeDuringTheWaitOpensTheChosenPort()
    {
        PanelFixture f;
        f.comm.vanish();
        f.panel.Command33_Click();
        f.panel.Option2_Click();
        QVERIFY(f.comm.isOpen());
        QVERIFY(!f.comm.deviceAbsent());
        QCOMPARE(f.comm.commPort(), 2);
        QCOMPARE(f.warnings.count(), 1);
    }
};

VX37_TEST(StartUpTest)
VX37_TEST(PortChoiceTest)
VX37_TEST(DeviceLossTest)
#include "test_port_control.moc"
