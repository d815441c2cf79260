#include "commands/button_table.h"
#include "sim/projector.h"

#include "test_registry.h"

#include <QTest>

using namespace vx37;
using namespace vx37::sim;

namespace {

ProjectorSettings timing(int countDownMs, int coolingMs, Power power = Power::StandBy)
{
    ProjectorSettings settings;
    settings.countDownMs = countDownMs;
    settings.coolingMs = coolingMs;
    settings.power = power;
    return settings;
}

} // namespace

class ProjectorPowerTest : public QObject
{
    Q_OBJECT

private slots:
    void powerOnCountsDownThenIsOn()
    {
        Projector projector(timing(3000, 5000));
        QCOMPARE(projector.power(), Power::StandBy);
        const Outcome outcome = projector.handle("C00", 1000);
        QCOMPARE(outcome.reply, std::string("\x06\r"));
        QCOMPARE(outcome.change, std::string("power stand-by -> count down"));
        QCOMPARE(projector.power(), Power::CountDown);
        QCOMPARE(projector.nextChangeAt(), std::optional<std::int64_t>(4000));

        QVERIFY(projector.advanceTo(3999).empty());
        QCOMPARE(projector.power(), Power::CountDown);
        QCOMPARE(projector.advanceTo(4000), std::vector<std::string>{"power count down -> on"});
        QCOMPARE(projector.power(), Power::On);
        QVERIFY(!projector.nextChangeAt());
    }

    void powerOffCoolsDownThenStandsBy()
    {
        Projector projector(timing(3000, 5000, Power::On));
        QCOMPARE(projector.handle("C01", 0).change, std::string("power on -> cooling down"));
        QVERIFY(projector.advanceTo(4999).empty());
        QCOMPARE(projector.power(), Power::Cooling);
        QCOMPARE(projector.advanceTo(5000),
                 std::vector<std::string>{"power cooling down -> stand-by"});
        QCOMPARE(projector.power(), Power::StandBy);
    }

    void powerOffDuringCountDownCoolsDown()
    {
        Projector projector(timing(3000, 2000));
        projector.handle("C00", 0);
        projector.handle("C01", 1000);
        QCOMPARE(projector.power(), Power::Cooling);
        // The count down's end at 3000 no longer applies; cooling ends at 1000 + 2000.
        QCOMPARE(projector.advanceTo(10000),
                 std::vector<std::string>{"power cooling down -> stand-by"});
        QCOMPARE(projector.power(), Power::StandBy);
    }

    void powerOnWhileCoolingIsRefused()
    {
        Projector projector(timing(3000, 5000, Power::On));
        projector.handle("C01", 0);
        const Outcome outcome = projector.handle("C00", 100);
        QCOMPARE(outcome.reply, std::string("\x06\r"));
        QCOMPARE(outcome.change, std::string("power on refused while cooling down"));
        QCOMPARE(projector.power(), Power::Cooling);
    }

    void repeatedPowerCommandsChangeNothing()
    {
        Projector projector(timing(3000, 5000, Power::On));
        QCOMPARE(projector.handle("C00", 0).change, std::string("power stays on"));
        projector.handle("C01", 0);
        projector.advanceTo(5000);
        QCOMPARE(projector.handle("C01", 6000).change, std::string("power stays stand-by"));
    }

    void lampHoursAdvanceOnlyWhileTheLampsAreLit()
    {
        ProjectorSettings settings = timing(1000, 1000);
        settings.lampHours = 10;
        settings.hourMs = 1000;
        Projector projector(settings);
        projector.advanceTo(50000);
        QCOMPARE(projector.lampHours(), 10);

        projector.handle("C00", 50000); // lit from the start of the count down
        projector.advanceTo(55500);
        QCOMPARE(projector.lampHours(), 15);
        projector.handle("C01", 55500);
        projector.advanceTo(90000);
        QCOMPARE(projector.lampHours(), 15);
        QCOMPARE(projector.statusReply("CR3"), std::optional<std::string>("00015\r"));
    }

    void temperaturesRiseWhileOnAndFallAfter()
    {
        ProjectorSettings settings = timing(0, 0);
        settings.ambient = 20.0;
        Projector projector(settings);
        for (int sensor = 0; sensor < 3; ++sensor)
            QCOMPARE(projector.temperature(sensor), 20.0);

        projector.handle("C00", 0);
        double last = 20.0;
        for (std::int64_t t = 5000; t <= 60000; t += 5000) {
            projector.advanceTo(t);
            QVERIFY(projector.temperature(2) > last);
            last = projector.temperature(2);
        }
        // One time constant after power-on the gap has shrunk by a factor e.
        Projector fresh(settings);
        fresh.handle("C00", 0);
        fresh.advanceTo(Projector::kHeatTimeConstantMs);
        QVERIFY(std::abs(fresh.temperature(2) - (20.0 + 35.0 * (1 - std::exp(-1.0)))) < 0.01);
        QVERIFY(fresh.temperature(0) < fresh.temperature(1));

        projector.handle("C01", 60000);
        projector.advanceTo(120000);
        QVERIFY(projector.temperature(2) < last);
        QVERIFY(projector.temperature(2) > 20.0);
    }

    void powerOffClearsFreezeAndMenu()
    {
        Projector projector(timing(0, 0, Power::On));
        projector.handle("C43", 0);
        projector.handle("C1C", 0);
        QVERIFY(projector.freeze() && projector.menu());
        projector.handle("C01", 10);
        QVERIFY(!projector.freeze());
        QVERIFY(!projector.menu());
    }
};

class ProjectorCommandTest : public QObject
{
    Q_OBJECT

private slots:
    void answersEveryCodeOfTheButtonTable()
    {
        for (const Power power : {Power::StandBy, Power::On}) {
            Projector projector(timing(3000, 5000, power));
            for (const ButtonRow& row : buttonTable()) {
                const Outcome outcome = projector.handle(row.code, 0);
                QVERIFY2(outcome.known, std::string(row.control).c_str());
                QVERIFY2(outcome.reply != Projector::kErrorReply, std::string(row.code).c_str());
                QVERIFY(outcome.reply.ends_with('\r'));
            }
        }
    }

    void unknownCodesGetTheErrorReply_data()
    {
        QTest::addColumn<QByteArray>("code");
        QTest::newRow("lower case query") << QByteArray("cr0");
        QTest::newRow("query with a trailing blank") << QByteArray("CR0 ");
        QTest::newRow("empty frame") << QByteArray("");
        QTest::newRow("no such command") << QByteArray("C99");
        QTest::newRow("no such query") << QByteArray("CR2");
        QTest::newRow("key lock without its word") << QByteArray("CF KEYDIS");
        QTest::newRow("control characters") << QByteArray("\x01\x02");
    }

    void unknownCodesGetTheErrorReply()
    {
        QFETCH(QByteArray, code);
        Projector projector(timing(0, 0, Power::On));
        const Outcome outcome = projector.handle(code.toStdString(), 0);
        QVERIFY(!outcome.known);
        QCOMPARE(outcome.reply, std::string("ERR\r"));
        QCOMPARE(projector.level(LevelId::Volume).value, 20);
    }

    void levelsMoveWithTheHeldButtons_data()
    {
        QTest::addColumn<QByteArray>("code");
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("first"); // after the press
        QTest::addColumn<int>("held");  // after the press and five repeats
        QTest::newRow("VOL +") << QByteArray("C09") << int(LevelId::Volume) << 21 << 26;
        QTest::newRow("VOL -") << QByteArray("C0A") << int(LevelId::Volume) << 19 << 14;
        QTest::newRow("Brightness +") << QByteArray("C20") << int(LevelId::Brightness) << 51 << 56;
        QTest::newRow("Brightness -") << QByteArray("C21") << int(LevelId::Brightness) << 49 << 44;
        QTest::newRow("D.Zoom +") << QByteArray("C30") << int(LevelId::Zoom) << 1 << 6;
        QTest::newRow("D.Zoom - at its minimum")
            << QByteArray("C31") << int(LevelId::Zoom) << 0 << 0;
        QTest::newRow("Keystone +") << QByteArray("C8E") << int(LevelId::Keystone) << 1 << 6;
        QTest::newRow("Keystone -") << QByteArray("C8F") << int(LevelId::Keystone) << -1 << -6;
    }

    void levelsMoveWithTheHeldButtons()
    {
        QFETCH(QByteArray, code);
        QFETCH(int, level);
        QFETCH(int, first);
        QFETCH(int, held);
        Projector projector(timing(0, 0, Power::On));
        const Outcome outcome = projector.handle(code.toStdString(), 0);
        QCOMPARE(outcome.reply, std::string("\x06\r"));
        QCOMPARE(projector.level(static_cast<LevelId>(level)).value, first);
        // Five repeats, as one second of a held button at 250 ms sends.
        for (int i = 1; i <= 5; ++i)
            projector.handle(code.toStdString(), 250 * i);
        QCOMPARE(projector.level(static_cast<LevelId>(level)).value, held);
    }

    void levelsStopAtTheirLimits()
    {
        Projector projector(timing(0, 0, Power::On));
        std::string change;
        for (int i = 0; i < 100; ++i)
            change = projector.handle("C09", i).change;
        QCOMPARE(projector.level(LevelId::Volume).value, 40);
        QCOMPARE(change, std::string("volume stays 40 (maximum)"));
        QCOMPARE(projector.handle("C0A", 100).change, std::string("volume 40 -> 39"));
    }

    void settingsChangeAsTheButtonsSay_data()
    {
        QTest::addColumn<QByteArray>("code");
        QTest::addColumn<QByteArray>("change");
        QTest::newRow("input Video") << QByteArray("C07") << QByteArray("input PC1 -> Video");
        QTest::newRow("input PC2") << QByteArray("C06") << QByteArray("input PC1 -> PC2");
        QTest::newRow("sound mute") << QByteArray("C0B") << QByteArray("sound mute off -> on");
        QTest::newRow("sound mute off") << QByteArray("C0C") << QByteArray("sound mute stays off");
        QTest::newRow("no show") << QByteArray("C0D") << QByteArray("picture mute off -> on");
        QTest::newRow("freeze") << QByteArray("C43") << QByteArray("freeze off -> on");
        QTest::newRow("menu") << QByteArray("C1C") << QByteArray("menu off -> on");
        QTest::newRow("wide") << QByteArray("C10") << QByteArray("screen size regular -> wide");
        QTest::newRow("preset CINEMA")
            << QByteArray("C13") << QByteArray("picture preset STAND -> CINEMA");
        QTest::newRow("preset Dynamic")
            << QByteArray("C19") << QByteArray("picture preset STAND -> Dynamic");
        QTest::newRow("remote keys locked")
            << QByteArray("CF KEYDIS RC") << QByteArray("key lock none -> remote control keys");
        QTest::newRow("projector keys locked")
            << QByteArray("CF KEYDIS KEY") << QByteArray("key lock none -> projector keys");
        QTest::newRow("PC1 RGB") << QByteArray("CF INPUT1 ANALOG")
                                 << QByteArray("PC1 signal stays RGB");
        QTest::newRow("PC2 Component")
            << QByteArray("C24") << QByteArray("PC2 signal RGB -> Component");
        QTest::newRow("PC2 Scart") << QByteArray("C26") << QByteArray("PC2 signal RGB -> Scart");
        QTest::newRow("Video S-Video")
            << QByteArray("C34") << QByteArray("Video signal Auto -> S-Video");
        QTest::newRow("Video Video")
            << QByteArray("C33") << QByteArray("Video signal Auto -> Video");
        QTest::newRow("P-TIMER") << QByteArray("C8A") << QByteArray("presentation timer off -> on");
        QTest::newRow("arrow without a menu")
            << QByteArray("C3C") << QByteArray("arrow up: no menu shown");
    }

    void settingsChangeAsTheButtonsSay()
    {
        QFETCH(QByteArray, code);
        QFETCH(QByteArray, change);
        Projector projector(timing(0, 0, Power::On));
        QCOMPARE(QByteArray::fromStdString(projector.handle(code.toStdString(), 0).change), change);
    }

    void stateFollowsTheCommands()
    {
        Projector projector(timing(0, 0, Power::On));
        projector.handle("C07", 0);
        projector.handle("C0B", 0);
        projector.handle("C0D", 0);
        projector.handle("C10", 0);
        projector.handle("C18", 0);
        projector.handle("CF KEYDIS KEY", 0);
        projector.handle("C25", 0);
        QCOMPARE(projector.input(), Input::Video);
        QVERIFY(projector.soundMute() && projector.pictureMute());
        QCOMPARE(projector.screenSize(), ScreenSize::Wide);
        QCOMPARE(projector.preset(), 8);
        QCOMPARE(projector.keyLock(), KeyLock::PanelKeys);
        QCOMPARE(projector.signalType(Input::Pc2), std::string_view("RGB"));
        projector.handle("C0E", 0);
        projector.handle("CF KEYDIS NONE", 0);
        QVERIFY(!projector.pictureMute());
        QCOMPARE(projector.keyLock(), KeyLock::None);
    }

    void arrowsMoveTheMenuCursor()
    {
        Projector projector(timing(0, 0, Power::On));
        projector.handle("C1C", 0);
        QCOMPARE(projector.handle("C3D", 0).change, std::string("menu row 1 -> 2"));
        QCOMPARE(projector.handle("C3C", 0).change, std::string("menu row 2 -> 1"));
        QCOMPARE(projector.handle("C3C", 0).change, std::string("menu row stays 1"));
        QCOMPARE(projector.handle("C3A", 0).change, std::string("menu row 1 adjusted up"));
        QCOMPARE(projector.handle("C3F", 0).change, std::string("menu row 1 selected"));
        QCOMPARE(projector.handle("C1E", 0).change,
                 std::string("menu on -> off (display cleared)"));
        QVERIFY(!projector.menu());
    }

    void pictureCommandsWaitForTheLamps()
    {
        Projector projector(timing(3000, 5000));
        const Outcome outcome = projector.handle("C09", 0);
        QCOMPARE(outcome.reply, std::string("\x06\r"));
        QCOMPARE(outcome.change, std::string("not applied: projector stand-by"));
        QCOMPARE(projector.level(LevelId::Volume).value, 20);
        // Key locks and power work in every state.
        QCOMPARE(projector.handle("CF KEYDIS RC", 0).change,
                 std::string("key lock none -> remote control keys"));
        projector.handle("C00", 0);
        QCOMPARE(projector.handle("C0B", 100).change,
                 std::string("not applied: projector count down"));
        QVERIFY(!projector.soundMute());
    }
};

VX37_TEST(ProjectorPowerTest)
VX37_TEST(ProjectorCommandTest)
#include "test_projector.moc"
