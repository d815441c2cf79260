#include "pjlink_rig.h"

#include "test_registry.h"

#include <QTest>

#include "replies/status_decoders.h"

#include <algorithm>

using namespace vx37;
using namespace vx37::pjlink;

// The mapping and the line in virtual time: the frames a PJLink command sends and its
// answer, for every reply the mapping tables know.
class BridgeTest : public QObject
{
    Q_OBJECT

private slots:
    void answers_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("replies"); // one per frame; "" for none
        QTest::addColumn<QString>("frames");
        QTest::addColumn<QString>("answer");
        const auto row = [](const char* name, const char* command, const char* replies,
                            const char* frames, const char* answer) {
            QTest::newRow(name) << command << QString::fromLatin1(replies).split(u'|') << frames
                                << answer;
        };
        // The judgement calls; coverage() checks that every key has a row.
        row("POWR ? on", "%1POWR ?", "00\r", "CR0\r", "%1POWR=1");
        row("POWR ? lamp off by power management", "%1POWR ?", "04\r", "CR0\r", "%1POWR=0");
        row("POWR ? lamps failed, cooling", "%1POWR ?", "21\r", "CR0\r", "%1POWR=2");
        row("POWR ? power failure", "%1POWR ?", "10\r", "CR0\r", "%1POWR=ERR4");
        row("INPT ? video", "%1INPT ?", "3\r", "CR1\r", "%1INPT=21");
        row("INPT ? input mode 4", "%1INPT ?", "4\r", "CR1\r", "%1INPT=22");
        row("AVMT ? both", "%1AVMT ?", "03\r", "CRA\r", "%1AVMT=31");
        row("AVMT ? no signal", "%1AVMT ?", "80\r", "CRA\r", "%1AVMT=30");
        row("LAMP ? dual, second lit", "%1LAMP ?", "02\r|00007\r", "CR7\rCR3\r", "%1LAMP=7 0 7 1");
        row("LAMP ? one lamp, lit", "%1LAMP ?", "22\r|00007\r", "CR7\rCR3\r", "%1LAMP=7 1");
        row("POWR ? error reply", "%1POWR ?", "ERR\r", "CR0\r", "%1POWR=ERR3");
        row("POWR ? no reply", "%1POWR ?", "", "CR0\r", "%1POWR=ERR3");
        row("ERST ? on", "%1ERST ?", "00\r", "CR0\r", "%1ERST=000000");
        row("ERST ? temperature warning", "%1ERST ?", "08\r", "CR0\r", "%1ERST=001000");
        row("ERST ? temperature, cooling", "%1ERST ?", "28\r", "CR0\r", "%1ERST=002000");
        row("ERST ? lamps failed", "%1ERST ?", "81\r", "CR0\r", "%1ERST=020000");
        row("ERST ? power failure", "%1ERST ?", "10\r", "CR0\r", "%1ERST=000002");
        row("LAMP ? hours of another form", "%1LAMP ?", "11\r|12a4\r", "CR7\rCR3\r", "%1LAMP=ERR3");
        // Sets: the state first where it matters, then the buttons.
        row("POWR 1", "%1POWR 1", "80\r|\x06\r", "CR0\rC00\r", "%1POWR=OK");
        row("POWR 1 cooling down", "%1POWR 1", "20\r", "CR0\r", "%1POWR=ERR3");
        row("POWR 1 refused", "%1POWR 1", "80\r|ERR\r", "CR0\rC00\r", "%1POWR=ERR3");
        row("POWR 0", "%1POWR 0", "\x06\r", "C01\r", "%1POWR=OK");
        row("INPT 11", "%1INPT 11", "00\r|\x06\r", "CR0\rC05\r", "%1INPT=OK");
        row("INPT 12", "%1INPT 12", "00\r|\x06\r", "CR0\rC06\r", "%1INPT=OK");
        row("INPT 21", "%1INPT 21", "00\r|\x06\r", "CR0\rC07\r", "%1INPT=OK");
        row("INPT 12 at stand-by", "%1INPT 12", "80\r", "CR0\r", "%1INPT=ERR3");
        row("INPT 12 warming up", "%1INPT 12", "40\r", "CR0\r", "%1INPT=ERR3");
        row("INPT 22 not selectable", "%1INPT 22", "", "", "%1INPT=ERR2");
        row("INPT 31", "%1INPT 31", "", "", "%1INPT=ERR2");
        row("AVMT 11", "%1AVMT 11", "00\r|\x06\r", "CR0\rC0D\r", "%1AVMT=OK");
        row("AVMT 20", "%1AVMT 20", "00\r|\x06\r", "CR0\rC0C\r", "%1AVMT=OK");
        row("AVMT 31", "%1AVMT 31", "00\r|\x06\r|\x06\r", "CR0\rC0D\rC0B\r", "%1AVMT=OK");
        row("AVMT 30", "%1AVMT 30", "00\r|\x06\r|\x06\r", "CR0\rC0E\rC0C\r", "%1AVMT=OK");
        row("AVMT 31 half done", "%1AVMT 31", "00\r|\x06\r|", "CR0\rC0D\rC0B\r", "%1AVMT=ERR3");
        row("AVMT 11 at stand-by", "%1AVMT 11", "80\r", "CR0\r", "%1AVMT=ERR3");
        row("AVMT 12", "%1AVMT 12", "", "", "%1AVMT=ERR2");
        // From the configuration, and the errors of the command line itself.
        row("INST ?", "%1INST ?", "", "", "%1INST=11 12 21");
        row("NAME ?", "%1NAME ?", "", "", "%1NAME=room 101");
        row("INF1 ? names no maker", "%1INF1 ?", "", "", "%1INF1=");
        row("INF2 ?", "%1INF2 ?", "", "", "%1INF2=VX37");
        row("INFO ?", "%1INFO ?", "", "", "%1INFO=vx37d 1.40");
        row("CLSS ?", "%1CLSS ?", "", "", "%1CLSS=1");
        row("unknown command", "%1ABCD ?", "", "", "%1ABCD=ERR1");
        row("class 2", "%2POWR ?", "", "", "%2POWR=ERR1");
        row("lower case", "%1powr ?", "", "", "%1powr=ERR1");
        row("no blank after the body", "%1POWR?", "", "", "%1POWR=ERR2");
        row("a control character", "%1POWR \x01", "", "", "%1POWR=ERR2");
        row("no parameter", "%1POWR", "", "", "%1POWR=ERR2");
        row("a query set", "%1CLSS 2", "", "", "%1CLSS=ERR2");
        row("POWR 2", "%1POWR 2", "", "", "%1POWR=ERR2");
    }

    void answers()
    {
        QFETCH(QString, command);
        QFETCH(QStringList, replies);
        QFETCH(QString, frames);
        QFETCH(QString, answer);
        PjlinkRig rig;
        QCOMPARE(QString::fromStdString(rig.answer(command.toStdString(), replies)), answer);
        QCOMPARE(QString::fromStdString(rig.port.written()), frames);
    }

    // Every key the core decodes for a query the bridge maps has a row in its table, and
    // no other key has one.
    void coverage()
    {
        using Has = bool (*)(std::string_view);
        const std::pair<Query, Has> tables[] = {
            {Query::Power, [](std::string_view r) { return powerRow(r) != nullptr; }},
            {Query::Input, [](std::string_view r) { return inputRow(r) != nullptr; }},
            {Query::Mute, [](std::string_view r) { return muteRow(r) != nullptr; }},
            {Query::Lamps, [](std::string_view r) { return lampRow(r) != nullptr; }}};
        for (const auto& [query, has] : tables) {
            const auto core = std::find_if(
                vx37::statusQueries().begin(), vx37::statusQueries().end(),
                [query](const vx37::StatusQuery& q) { return q.code == queryCode(query); });
            QVERIFY(core != vx37::statusQueries().end());
            for (int key = 0; key < 0x10000; ++key) {
                std::string reply{char(key >> 8), char(key & 0xff)};
                reply = reply.substr(2 - core->keyCharacters) + '\r';
                QVERIFY2(vx37::isAnswerTo(core->code, reply) == has(reply), reply.c_str());
            }
        }
    }

    // The line's own rules: a reading no older than a second answers for the projector;
    // the line pulled mid-command answers ERR3 at once, and so does every request until
    // the probe finds the projector again.
    void readingsLossAndReturn()
    {
        PjlinkRig rig;
        QCOMPARE(rig.answer("%1POWR ?", {"80\r"}), "%1POWR=0");
        rig.clock.advance(ProjectorLine::kFreshMs);
        QCOMPARE(rig.answer("%1POWR ?"), "%1POWR=0");
        QCOMPARE(rig.port.written(), "CR0\r");

        QCOMPARE(rig.answer("%1POWR 0"), "");
        QCOMPARE(rig.port.written(), "CR0\rC01\r");
        rig.port.vanish();
        QCOMPARE(rig.answered, "%1POWR=ERR3");
        QCOMPARE(rig.answer("%1INPT ?"), "%1INPT=ERR3");
        rig.port.comeBack();
        rig.clock.advance(ProjectorLine::kProbeMs);
        QCOMPARE(QString::fromStdString(rig.port.written()), "CR0\rC01\rCR0\r");
        rig.port.receive("20\r");
        QCOMPARE(rig.answer("%1POWR ?"), "%1POWR=2");
    }

    // The slow readings: asked as soon as the line is up, again once they are old; the last
    // answers outlive a loss, and a change is told once.
    void slowReadingsAndChanges()
    {
        vx37::VirtualClock clock;
        vx37::MemorySerialControl port;
        ProjectorLine line{port, clock.createTimer(0), clock.createTimer(0), clock.createTimer(0),
                           [&] { return clock.now(); }, 5000, {"CR0"}};
        line.pollAlso({"CR3"}, 60000);
        QStringList changed;
        connect(&line, &ProjectorLine::readingChanged, this,
                [&](const std::string& code) { changed << QString::fromStdString(code); });
        line.start();
        port.receive("00\r");
        port.receive("01234\r");
        QCOMPARE(QString::fromStdString(port.written()), "CR0\rCR3\r");
        for (int poll = 0; poll < 11; ++poll) {
            clock.advance(5000);
            port.receive("00\r"); // unchanged
        }
        QCOMPARE(QString::fromStdString(port.written()).count("CR3"), 1);
        clock.advance(5000);
        port.receive("00\r");
        port.receive("01235\r");
        QCOMPARE(changed, QStringList({"CR0", "CR3", "CR3"}));
        port.vanish();
        QCOMPARE(line.lastReading("CR3")->reply, "01235\r");
        QVERIFY(!line.lastReading("CR6"));
    }

    // A reply that comes after its client's deadline, but within the projector's own time,
    // answers its own frame and never the next one; the client has its error at once.
    void aLateReplyAnswersOnlyItsOwnFrame()
    {
        PjlinkRig rig;
        QStringList seen;
        const auto note = [&](const char* who) {
            return [&, who](const ProjectorLine::Reply& reply) {
                seen << QStringLiteral("%1@%2 %3")
                            .arg(who)
                            .arg(rig.clock.now())
                            .arg(reply ? QString::fromStdString(*reply).trimmed() : "none");
            };
        };
        const std::int64_t start = rig.clock.now();
        rig.line.ask("CR0", start + 200, note("power"));
        rig.line.ask("CRA", start + 1900, note("mute"));
        rig.clock.advance(300);
        rig.port.receive("80\r");
        QCOMPARE(rig.port.written(), "CR0\rCRA\r");
        rig.clock.advance(10);
        rig.port.receive("00\r");
        QCOMPARE(seen, QStringList({QStringLiteral("power@%1 none").arg(start + 200),
                                    QStringLiteral("mute@%1 00").arg(start + 310)}));
    }

    // The MD5 test vector of PJLink's authentication.
    void digest()
    {
        const std::string digest = authDigest("498e4a67", "JBMIAProjectorLink");
        QCOMPARE(digest, "5d8409bc1c3fa39749434aa3a5c38682");
        QVERIFY(digestMatches("5D8409BC1C3FA39749434AA3A5C38682", digest));
        QVERIFY(!digestMatches("5d8409bc1c3fa39749434aa3a5c38683", digest));
    }
};

VX37_TEST(BridgeTest)
#include "test_bridge.moc"
