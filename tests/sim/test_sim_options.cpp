#include "sim/sim_options.h"

#include "test_registry.h"

#include <QTest>

using namespace vx37::sim;

namespace {

ParsedOptions parse(const QByteArrayList& args)
{
    std::vector<std::string> list;
    for (const QByteArray& arg : args)
        list.push_back(arg.toStdString());
    return parseOptions(list);
}

} // namespace

class SimOptionsTest : public QObject
{
    Q_OBJECT

private slots:
    void defaults()
    {
        const ParsedOptions parsed = parse({});
        QVERIFY(parsed.options);
        const SimOptions& options = *parsed.options;
        QVERIFY(options.link.empty());
        QCOMPARE(options.baud, 19200);
        QCOMPARE(options.projector.power, Power::StandBy);
        QVERIFY(options.transcript);
        QVERIFY(!options.faults.silent);
        QCOMPARE(options.faults.pieceBytes, 0);
        QCOMPARE(options.faults.vanishAfter, 0);
        QCOMPARE(options.faults.comeBackMs, -1);
        QCOMPARE(options.faults.vanishCycles, 1);
        QCOMPARE(options.faults.floodBytes, std::int64_t(0));
        QCOMPARE(options.faults.floodAfter, 1);
    }

    void everyOptionSetsItsValue()
    {
        const ParsedOptions parsed = parse({"--link",
                                            "/tmp/x",
                                            "--baud",
                                            "9600",
                                            "--power=on",
                                            "--count-down",
                                            "10",
                                            "--cooling",
                                            "20",
                                            "--input",
                                            "pc2",
                                            "--no-signal",
                                            "--lamp-hours",
                                            "5",
                                            "--hour-ms",
                                            "7",
                                            "--lamp-mode",
                                            "no2",
                                            "--reversal",
                                            "both",
                                            "--ambient",
                                            "30.5",
                                            "--pressure",
                                            "900",
                                            "--silent",
                                            "--late",
                                            "40",
                                            "--pieces",
                                            "3",
                                            "--piece-gap",
                                            "60",
                                            "--corrupt",
                                            "0.25",
                                            "--seed",
                                            "9",
                                            "--chatter",
                                            "800",
                                            "--vanish-after",
                                            "4",
                                            "--come-back",
                                            "1500",
                                            "--cycles",
                                            "0",
                                            "--flood",
                                            "1048576",
                                            "--flood-after",
                                            "3",
                                            "--quiet"});
        QVERIFY2(parsed.options, parsed.error.c_str());
        const SimOptions& o = *parsed.options;
        QCOMPARE(o.link, std::string("/tmp/x"));
        QCOMPARE(o.baud, 9600);
        QCOMPARE(o.projector.power, Power::On);
        QCOMPARE(o.projector.countDownMs, 10);
        QCOMPARE(o.projector.coolingMs, 20);
        QCOMPARE(o.projector.input, Input::Pc2);
        QVERIFY(!o.projector.signal);
        QCOMPARE(o.projector.lampHours, 5);
        QCOMPARE(o.projector.hourMs, 7);
        QCOMPARE(o.projector.lampMode, LampMode::No2);
        QVERIFY(o.projector.reverseTopBottom && o.projector.reverseLeftRight);
        QCOMPARE(o.projector.ambient, 30.5);
        QCOMPARE(o.projector.pressureHpa, 900);
        QVERIFY(o.faults.silent);
        QCOMPARE(o.faults.lateMs, 40);
        QCOMPARE(o.faults.pieceBytes, 3);
        QCOMPARE(o.faults.pieceGapMs, 60);
        QCOMPARE(o.faults.corruptRate, 0.25);
        QCOMPARE(o.faults.seed, 9u);
        QCOMPARE(o.faults.chatterMs, 800);
        QCOMPARE(o.faults.vanishAfter, 4);
        QCOMPARE(o.faults.comeBackMs, 1500);
        QCOMPARE(o.faults.vanishCycles, 0);
        QCOMPARE(o.faults.floodBytes, std::int64_t(1048576));
        QCOMPARE(o.faults.floodAfter, 3);
        QVERIFY(!o.transcript);
    }

    void mistakesAreExplained_data()
    {
        QTest::addColumn<QByteArrayList>("args");
        QTest::addColumn<QByteArray>("says");
        QTest::newRow("unknown option")
            << QByteArrayList{"--fast"} << QByteArray("unknown option --fast");
        QTest::newRow("missing value")
            << QByteArrayList{"--late"} << QByteArray("--late needs a value");
        QTest::newRow("not a number") << QByteArrayList{"--late", "soon"}
                                      << QByteArray("--late soon: expected a whole number from 0");
        QTest::newRow("negative") << QByteArrayList{"--pieces", "-1"}
                                  << QByteArray("--pieces -1: expected a whole number from 1");
        QTest::newRow("other speed") << QByteArrayList{"--baud", "115200"}
                                     << QByteArray("--baud 115200: expected one of 19200, 9600");
        QTest::newRow("rate above one") << QByteArrayList{"--corrupt", "1.5"}
                                        << QByteArray("--corrupt 1.5: expected a rate from 0 to 1");
        QTest::newRow("rate not a number")
            << QByteArrayList{"--corrupt", "nan"} << QByteArray("--corrupt nan: expected a rate");
        QTest::newRow("flag with a value")
            << QByteArrayList{"--silent=yes"} << QByteArray("--silent takes no value");
        QTest::newRow("come back alone") << QByteArrayList{"--come-back", "100"}
                                         << QByteArray("--come-back needs --vanish-after");
        QTest::newRow("cycles alone") << QByteArrayList{"--vanish-after", "2", "--cycles", "5"}
                                      << QByteArray("--cycles needs --come-back");
        QTest::newRow("flood-after alone")
            << QByteArrayList{"--flood-after", "2"} << QByteArray("--flood-after needs --flood");
        QTest::newRow("empty flood") << QByteArrayList{"--flood", "0"}
                                     << QByteArray("--flood 0: expected a byte count from 1");
        QTest::newRow("empty link")
            << QByteArrayList{"--link", ""} << QByteArray("--link : expected a path");
    }

    void mistakesAreExplained()
    {
        QFETCH(QByteArrayList, args);
        QFETCH(QByteArray, says);
        const ParsedOptions parsed = parse(args);
        QVERIFY(!parsed.options);
        QVERIFY(!parsed.help);
        QVERIFY2(parsed.error.starts_with(says.toStdString()), parsed.error.c_str());
        QVERIFY(parsed.error.ends_with("(vx37-sim --help lists the options)"));
    }

    void helpIsAskedFor()
    {
        const ParsedOptions parsed = parse({"--late", "5", "--help"});
        QVERIFY(parsed.help);
        QVERIFY(!parsed.options);
        // Every option the parser takes is in the help text.
        for (const char* option :
             {"--link",       "--baud",         "--quiet",     "--power",      "--count-down",
              "--cooling",    "--input",        "--no-signal", "--lamp-hours", "--hour-ms",
              "--lamp-mode",  "--reversal",     "--ambient",   "--pressure",   "--silent",
              "--late",       "--pieces",       "--piece-gap", "--corrupt",    "--seed",
              "--chatter",    "--vanish-after", "--come-back", "--cycles",     "--flood",
              "--flood-after"})
            QVERIFY2(usageText().find(option) != std::string::npos, option);
    }
};

VX37_TEST(SimOptionsTest)
#include "test_sim_options.moc"
