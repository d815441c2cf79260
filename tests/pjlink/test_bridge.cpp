#include "pjlink_rig.h"

#include "test_registry.h"

#include <QTest>

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
        // Every reply of the lookup queries, in the tables' own words.
        const auto lookups = [](const char* query, const char* code, const char* body,
                                std::initializer_list<std::pair<const char*, const char*>> rows) {
            for (const auto& [key, value] : rows) {
                const QString reply = QString::fromLatin1(key) + u'\r';
                QTest::addRow("%s %s", query, key)
                    << QStringLiteral("%1%2 ?").arg("%1", body) << QStringList{reply}
                    << QString::fromLatin1(code) + u'\r'
                    << QStringLiteral("%1%2=%3").arg("%1", body, value);
            }
        };
        lookups("POWR ?", "CR0", "POWR",
                {{"00", "1"},
                 {"80", "0"},
                 {"40", "3"},
                 {"20", "2"},
                 {"24", "2"},
                 {"08", "1"},
                 {"02", "1"},
                 {"04", "0"},
                 {"28", "2"},
                 {"88", "0"},
                 {"21", "2"},
                 {"81", "0"},
                 {"10", "ERR4"}});
        lookups("INPT ?", "CR1", "INPT", {{"1", "11"}, {"2", "12"}, {"3", "21"}, {"4", "22"}});
        lookups(
            "AVMT ?", "CRA", "AVMT",
            {{"00", "30"}, {"01", "11"}, {"02", "21"}, {"03", "31"}, {"80", "30"}});
        for (const auto& [key, lamps] : {std::pair{"00", "7 0 7 0"},
                                         {"01", "7 1 7 0"},
                                         {"02", "7 0 7 1"},
                                         {"03", "7 1 7 1"},
                                         {"10", "7 0"},
                                         {"11", "7 1"},
                                         {"20", "7 0"},
                                         {"22", "7 1"}})
            QTest::addRow("LAMP ? %s", key)
                << "%1LAMP ?" << QStringList{QString::fromLatin1(key) + u'\r', "00007\r"}
                << "CR7\rCR3\r" << QStringLiteral("%1LAMP=") + QString::fromLatin1(lamps);
        // What the projector does not report answers neutrally while it is on or warming up.
        row("AVMT ? warming up", "%1AVMT ?", "FF\r|40\r", "CRA\rCR0\r", "%1AVMT=30");
        row("AVMT ? at stand-by", "%1AVMT ?", "FF\r|80\r", "CRA\rCR0\r", "%1AVMT=ERR3");
        row("INPT ? warming up, no input", "%1INPT ?", "ERR\r|40\r", "CR1\rCR0\r", "%1INPT=11");
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
        row("INFO ?", "%1INFO ?", "", "", "%1INFO=vx37-pjlink 1.40");
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
        rig.clock.advance(ProjectorLine::kProbeMs + ProjectorLine::kDrainQuietMs);
        QCOMPARE(QString::fromStdString(rig.port.written()), "CR0\rC01\rCR0\r");
        rig.port.receive("20\r");
        QCOMPARE(rig.answer("%1POWR ?"), "%1POWR=2");
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
