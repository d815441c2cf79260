#include "sim/simulator.h"
#include "sim/uart.h"

#include "test_registry.h"

#include <QTest>

using namespace vx37::sim;

namespace {

// What reached the panel, and when.
struct Written
{
    std::int64_t time;
    std::string bytes;
    bool operator==(const Written&) const = default;
};

// A simulator on virtual time, with the panel's port at a given speed.
struct Line
{
    explicit Line(FaultSettings faults = {}, ProjectorSettings projector = {}, int baud = 19200)
        : simulator(projector, faults, baud, 0)
    {
        simulator.setTranscript(
            [this](const TranscriptEntry& entry) { transcript.push_back(entry); });
    }

    void send(std::int64_t time, std::string_view bytes)
    {
        simulator.receive(bytes, time, panelBaud);
    }

    // Runs virtual time up to until, doing whatever falls due on the way.
    void runUntil(std::int64_t until)
    {
        while (const auto due = simulator.nextDue()) {
            if (*due > until)
                break;
            collect(*due);
        }
        collect(until);
    }

    void collect(std::int64_t now)
    {
        for (LineAction& action : simulator.takeDue(now, panelBaud)) {
            if (action.kind == LineAction::Kind::Write)
                written.push_back({now, action.bytes});
            else
                actions.push_back({now, action.kind});
            if (action.kind == LineAction::Kind::Flood)
                floods.push_back({now, action.floodBytes});
        }
    }

    std::string allWritten() const
    {
        std::string all;
        for (const Written& w : written)
            all += w.bytes;
        return all;
    }

    Simulator simulator;
    int panelBaud = 19200;
    std::vector<Written> written;
    std::vector<std::pair<std::int64_t, LineAction::Kind>> actions;
    std::vector<std::pair<std::int64_t, std::int64_t>> floods; // when, how many bytes
    std::vector<TranscriptEntry> transcript;
};

FaultSettings faults(auto&& change)
{
    FaultSettings settings;
    change(settings);
    return settings;
}

} // namespace

class SimulatorTest : public QObject
{
    Q_OBJECT

private slots:
    void answersAtOnce()
    {
        Line line;
        line.send(100, "CR0\r");
        QCOMPARE(line.simulator.nextDue(), std::optional<std::int64_t>(100));
        line.runUntil(100);
        QCOMPARE(line.written, (std::vector<Written>{{100, "80\r"}}));
    }

    void framesAreCutAtTheCarriageReturn_data()
    {
        QTest::addColumn<QByteArrayList>("reads");
        QTest::addColumn<QByteArray>("replies");
        QTest::newRow("one frame in two reads")
            << QByteArrayList{"CR", "0\r"} << QByteArray("80\r");
        QTest::newRow("two frames in one read")
            << QByteArrayList{"CR0\rCR1\r"} << QByteArray("80\r1\r");
        QTest::newRow("a line feed after the CR is ignored")
            << QByteArrayList{"CR0\r\n"} << QByteArray("80\r");
        QTest::newRow("an empty frame is unknown") << QByteArrayList{"\r"} << QByteArray("ERR\r");
        QTest::newRow("nothing without a CR") << QByteArrayList{"CR0"} << QByteArray();
    }

    void framesAreCutAtTheCarriageReturn()
    {
        QFETCH(QByteArrayList, reads);
        QFETCH(QByteArray, replies);
        Line line;
        for (const QByteArray& read : reads)
            line.send(10, read.toStdString());
        line.runUntil(1000);
        QCOMPARE(QByteArray::fromStdString(line.allWritten()), replies);
    }

    void anOverlongFrameIsAnsweredAndDropped()
    {
        Line line;
        line.send(0, std::string(Simulator::kMaxFrameLength + 10, 'A'));
        line.runUntil(0);
        QCOMPARE(line.allWritten(), std::string("ERR\r"));
        // The rest up to the next CR is a frame of its own, and the line works on.
        line.send(10, "\rCR0\r");
        line.runUntil(10);
        QCOMPARE(line.allWritten(), std::string("ERR\rERR\r80\r"));
    }

    void silentNeverReplies()
    {
        Line line(faults([](FaultSettings& f) { f.silent = true; }));
        line.send(0, "CR0\rC00\r");
        line.runUntil(60000);
        QVERIFY(line.written.empty());
        // It still hears, and acts: a silent projector is not a deaf one.
        QCOMPARE(line.simulator.projector().power(), Power::On);
        QCOMPARE(line.transcript.front().kind, TranscriptEntry::Kind::FromPanel);
    }

    void repliesLate()
    {
        Line line(faults([](FaultSettings& f) { f.lateMs = 300; }));
        line.send(100, "CR0\r");
        line.runUntil(399);
        QVERIFY(line.written.empty());
        line.runUntil(1000);
        QCOMPARE(line.written, (std::vector<Written>{{400, "80\r"}}));
    }

    void repliesInPiecesWithGaps()
    {
        Line line(faults([](FaultSettings& f) {
            f.pieceBytes = 2;
            f.pieceGapMs = 50;
            f.lateMs = 10;
        }));
        line.send(100, "CR PRESSURE\r");
        line.runUntil(1000);
        QCOMPARE(line.written, (std::vector<Written>{{110, "85"}, {160, "3\r"}}));
        QVERIFY(line.transcript.back().note.find("piece 2/2") != std::string::npos);
    }

    void corruptsAtTheRateAskedFor()
    {
        const auto run = [](double rate, std::uint32_t seed) {
            Line line(faults([&](FaultSettings& f) {
                f.corruptRate = rate;
                f.seed = seed;
            }));
            for (int i = 0; i < 500; ++i)
                line.send(i, "CR9\r"); // "VX37 SIMULATOR\r", 15 bytes
            line.runUntil(1000);
            return line.allWritten();
        };
        std::string clean;
        for (int i = 0; i < 500; ++i)
            clean += "VX37 SIMULATOR\r";

        QCOMPARE(run(0.0, 1), clean);
        const std::string all = run(1.0, 1);
        QCOMPARE(all.size(), clean.size());
        for (std::size_t i = 0; i < all.size(); ++i)
            QVERIFY(all[i] != clean[i]);

        const std::string some = run(0.2, 7);
        QCOMPARE(some.size(), clean.size());
        std::size_t changed = 0;
        for (std::size_t i = 0; i < some.size(); ++i)
            changed += some[i] != clean[i];
        const double rate = double(changed) / clean.size();
        QVERIFY2(rate > 0.17 && rate < 0.23, std::to_string(rate).c_str());
        // The same seed corrupts the same way; another one does not.
        QCOMPARE(run(0.2, 7), some);
        QVERIFY(run(0.2, 8) != some);
    }

    void speaksUnprompted()
    {
        Line line(faults([](FaultSettings& f) { f.chatterMs = 1000; }));
        QCOMPARE(line.simulator.nextDue(), std::optional<std::int64_t>(1000));
        line.runUntil(3500);
        QCOMPARE(line.written,
                 (std::vector<Written>{{1000, "80\r"}, {2000, "80\r"}, {3000, "80\r"}}));
        // Woken late, it says it once and keeps its rhythm from then on: no burst.
        line.collect(9700);
        QCOMPARE(line.written.size(), std::size_t(4));
        QCOMPARE(line.simulator.nextDue(), std::optional<std::int64_t>(10700));
    }

    void vanishesAfterCommandsAndComesBack()
    {
        Line line(faults([](FaultSettings& f) {
            f.vanishAfter = 2;
            f.comeBackMs = 500;
        }));
        line.send(100, "CR0\r");
        line.send(200, "CR1\r");
        line.runUntil(299);
        // The second command is still answered, and the line goes just after.
        QCOMPARE(line.written, (std::vector<Written>{{100, "80\r"}, {200, "1\r"}}));
        QVERIFY(line.actions.empty());
        line.runUntil(300);
        QCOMPARE(line.actions, (std::vector<std::pair<std::int64_t, LineAction::Kind>>{
                                   {200 + Simulator::kVanishDelayMs, LineAction::Kind::Vanish}}));
        QVERIFY(line.simulator.vanished());
        QCOMPARE(line.transcript.back().note, std::string("line gone after 2 commands"));

        line.send(400, "CR0\r"); // nothing can arrive on a closed line
        line.runUntil(799);
        QCOMPARE(line.written.size(), std::size_t(2));
        line.runUntil(800);
        QCOMPARE(line.actions.back(),
                 std::make_pair(std::int64_t(800), LineAction::Kind::ComeBack));
        QVERIFY(!line.simulator.vanished());

        line.send(900, "CR0\r");
        line.runUntil(900);
        QCOMPARE(line.written.back(), (Written{900, "80\r"}));
        // Once only: it does not go again after two more commands.
        line.send(1000, "CR0\r");
        line.runUntil(5000);
        QCOMPARE(line.actions.size(), std::size_t(2));
    }

    void vanishingLosesWhatWasStillToBeSaid()
    {
        Line line(faults([](FaultSettings& f) {
            f.vanishAfter = 1;
            f.lateMs = 300;
        }));
        line.send(100, "CR0\r"); // answered at 400, the line goes at 500
        line.send(300, "CR1\r"); // its answer, due at 600, is lost
        line.runUntil(10000);
        QCOMPARE(line.written, (std::vector<Written>{{400, "80\r"}}));
        QCOMPARE(line.actions.size(), std::size_t(1));
    }

    void vanishesAgainForEachCycle()
    {
        Line line(faults([](FaultSettings& f) {
            f.vanishAfter = 2;
            f.comeBackMs = 500;
            f.vanishCycles = 3;
        }));
        for (std::int64_t start : {100, 900, 1700, 2500}) {
            line.send(start, "CR0\r");
            line.send(start + 100, "CR1\r");
            line.runUntil(start + 250);
            line.send(start + 250, "CR3\r"); // the line is gone: not heard, not counted
            line.runUntil(start + 800);
        }
        using Kind = LineAction::Kind;
        // Two commands a cycle, counted afresh after each return; three cycles, no fourth.
        QCOMPARE(line.actions,
                 (std::vector<std::pair<std::int64_t, Kind>>{{300, Kind::Vanish},
                                                             {800, Kind::ComeBack},
                                                             {1100, Kind::Vanish},
                                                             {1600, Kind::ComeBack},
                                                             {1900, Kind::Vanish},
                                                             {2400, Kind::ComeBack}}));
        QVERIFY(!line.simulator.vanished());
        QVERIFY(
            std::any_of(line.transcript.begin(), line.transcript.end(),
                        [](const TranscriptEntry& e) { return e.note == "line back (3 times)"; }));
    }

    void cyclesWithoutEnd()
    {
        Line line(faults([](FaultSettings& f) {
            f.vanishAfter = 1;
            f.comeBackMs = 50;
            f.vanishCycles = 0;
        }));
        for (std::int64_t t = 0; t < 10000; t += 1000) {
            line.send(t, "CR0\r");
            line.runUntil(t + 999);
        }
        QCOMPARE(std::count(line.actions.begin(), line.actions.end(),
                            std::make_pair(std::int64_t(9150), LineAction::Kind::ComeBack)),
                 1);
        QCOMPARE(line.actions.size(), std::size_t(20));
    }

    void floodsOnceBehindTheAnswerToTheNthCommand()
    {
        Line line(faults([](FaultSettings& f) {
            f.floodBytes = 5000;
            f.floodAfter = 2;
            f.lateMs = 30;
        }));
        line.send(100, "CR0\r");
        line.runUntil(199);
        QVERIFY(line.floods.empty());
        line.send(200, "CR1\r");
        line.runUntil(1000);
        // The answer first, then the flood, at the same moment and in that order.
        QCOMPARE(line.written.back(), (Written{230, "1\r"}));
        QCOMPARE(line.floods, (std::vector<std::pair<std::int64_t, std::int64_t>>{{230, 5000}}));
        QCOMPARE(line.transcript.back().note,
                 std::string("flood of 5000 random bytes, as fast as the line takes them"));
        // Once only; the projector goes on answering.
        line.send(1100, "CR0\r");
        line.runUntil(5000);
        QCOMPARE(line.floods.size(), std::size_t(1));
        QCOMPARE(line.written.back(), (Written{1130, "80\r"}));
    }

    void aFloodStillToComeIsLostWithTheLine()
    {
        Line line(faults([](FaultSettings& f) {
            f.floodBytes = 100;
            f.floodAfter = 2;
            f.lateMs = 500;
            f.vanishAfter = 1;
        }));
        line.send(100, "CR0\r"); // answered at 600; the line goes at 700
        line.send(500, "CR1\r"); // its answer, and the flood behind it, due at 1000
        line.runUntil(10000);
        QCOMPARE(line.written, (std::vector<Written>{{600, "80\r"}}));
        QVERIFY(line.floods.empty());
        QCOMPARE(line.actions.size(), std::size_t(1));
    }

    void aPanelAtAnotherSpeedReadsGarbage()
    {
        Line line(FaultSettings{}, ProjectorSettings{}, 9600);
        line.panelBaud = 19200;
        line.send(0, "C00\r");
        line.runUntil(0);
        // The projector could not read the command, and its answer comes out garbled.
        QCOMPARE(line.simulator.projector().power(), Power::StandBy);
        QCOMPARE(line.allWritten(), resampleUart("ERR\r", 9600, 19200));
        QVERIFY(line.allWritten() != "ERR\r");
        QVERIFY(line.transcript.front().note.starts_with("unreadable"));

        line.panelBaud = 9600;
        line.send(10, "C00\r");
        line.runUntil(10);
        QCOMPARE(line.simulator.projector().power(), Power::CountDown);
        QCOMPARE(line.written.back().bytes, std::string("\x06\r"));
    }

    void theSpeedAtWritingTimeGarbles()
    {
        Line line(faults([](FaultSettings& f) { f.lateMs = 100; }));
        line.send(0, "CR0\r");
        line.panelBaud = 9600; // the operator switches to 9600 before the answer comes
        line.runUntil(100);
        QCOMPARE(line.allWritten(), resampleUart("80\r", 19200, 9600));
        QVERIFY(line.transcript.back().note.find("garbled") != std::string::npos);
    }

    void phaseEndsAreLoggedWhenTheyHappen()
    {
        ProjectorSettings projector;
        projector.countDownMs = 3000;
        Line line(FaultSettings{}, projector);
        line.send(500, "C00\r");
        QCOMPARE(line.simulator.nextDue(), std::optional<std::int64_t>(500)); // the ACK
        line.runUntil(500);
        QCOMPARE(line.simulator.nextDue(), std::optional<std::int64_t>(3500));
        line.runUntil(10000);
        const TranscriptEntry& last = line.transcript.back();
        QCOMPARE(last.kind, TranscriptEntry::Kind::Event);
        QCOMPARE(last.time, std::int64_t(3500));
        QCOMPARE(last.note, std::string("power count down -> on"));
    }
};

VX37_TEST(SimulatorTest)
#include "test_simulator.moc"
