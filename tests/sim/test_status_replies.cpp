#include "commands/monitor_text.h"
#include "replies/status_decoders.h"
#include "sim/projector.h"
#include "sim/sim_options.h"

#include "test_registry.h"

#include <QTest>

using namespace vx37;
using namespace vx37::sim;

namespace {

// The panel's decoder of a status query, run on the monitor text of a reply, as the
// RXD line would show it.
std::optional<std::string> decoded(std::string_view query, const std::string& reply)
{
    std::int16_t pressureValue = 0;
    for (const StatusQuery& status : statusQueries()) {
        if (status.code == query)
            return status.decode(renderMonitorText(reply), pressureValue);
    }
    return std::nullopt;
}

ProjectorSettings settingsFrom(const QByteArrayList& args)
{
    std::vector<std::string> list;
    for (const QByteArray& arg : args)
        list.push_back(arg.toStdString());
    const ParsedOptions parsed = parseOptions(list);
    if (!parsed.options)
        qFatal("bad options: %s", parsed.error.c_str());
    return parsed.options->projector;
}

} // namespace

class StatusReplyTest : public QObject
{
    Q_OBJECT

private slots:
    void repliesInTheFormatsThePanelDecodes_data()
    {
        QTest::addColumn<QByteArrayList>("options");
        QTest::addColumn<QByteArrayList>("commands"); // sent before the query, 10 ms apart
        QTest::addColumn<QByteArray>("query");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QByteArray>("status");

        const QByteArrayList on{"--power", "on"};
        QTest::newRow("CR0 stand-by") << QByteArrayList() << QByteArrayList() << QByteArray("CR0")
                                      << QByteArray("80\r") << QByteArray(" Stand by");
        QTest::newRow("CR0 count down")
            << QByteArrayList() << QByteArrayList{"C00"} << QByteArray("CR0") << QByteArray("40\r")
            << QByteArray(" Count down");
        QTest::newRow("CR0 on") << on << QByteArrayList() << QByteArray("CR0") << QByteArray("00\r")
                                << QByteArray(" Power ON");
        QTest::newRow("CR0 cooling down") << on << QByteArrayList{"C01"} << QByteArray("CR0")
                                          << QByteArray("20\r") << QByteArray(" Cooling down");
        QTest::newRow("CR1 PC1") << QByteArrayList() << QByteArrayList() << QByteArray("CR1")
                                 << QByteArray("1\r") << QByteArray(" Computer 1");
        QTest::newRow("CR1 PC2 chosen") << on << QByteArrayList{"C06"} << QByteArray("CR1")
                                        << QByteArray("2\r") << QByteArray(" Computer 2");
        QTest::newRow("CR1 video at start")
            << QByteArrayList{"--input", "video"} << QByteArrayList() << QByteArray("CR1")
            << QByteArray("3\r") << QByteArray(" Video");
        QTest::newRow("CR3 lamp hours")
            << QByteArrayList{"--lamp-hours", "987"} << QByteArrayList() << QByteArray("CR3")
            << QByteArray("00987\r") << QByteArray(" 0 0 9 8 7 CR  Hour Use");
        QTest::newRow("CR4 normal") << QByteArrayList() << QByteArrayList() << QByteArray("CR4")
                                    << QByteArray("11\r") << QByteArray(" Normally");
        QTest::newRow("CR4 top/bottom")
            << QByteArrayList{"--reversal", "top-bottom"} << QByteArrayList() << QByteArray("CR4")
            << QByteArray("10\r") << QByteArray(" Top/Bottom reversal");
        QTest::newRow("CR4 left/right")
            << QByteArrayList{"--reversal", "left-right"} << QByteArrayList() << QByteArray("CR4")
            << QByteArray("01\r") << QByteArray(" Left/Right reversal");
        QTest::newRow("CR4 both") << QByteArrayList{"--reversal", "both"} << QByteArrayList()
                                  << QByteArray("CR4") << QByteArray("00\r")
                                  << QByteArray(" Top/Bottom , Left/Right reversal");
        QTest::newRow("CR6 cold") << QByteArrayList{"--ambient", "21.5"} << QByteArrayList()
                                  << QByteArray("CR6") << QByteArray("021.5 021.5 021.5\r")
                                  << QByteArray(
                                         "  S1= 0 2 1 . 5 C  ,   S2=  2 1 . 5 C , S3= 0 2 1 . 5 C");
        QTest::newRow("CR6 warm") << on << QByteArrayList() << QByteArray("CR6")
                                  << QByteArray("033.0 045.0 060.0\r")
                                  << QByteArray(
                                         "  S1= 0 3 3 . 0 C  ,   S2=  4 5 . 0 C , S3= 0 6 0 . 0 C");
        QTest::newRow("CR7 two lamps off")
            << QByteArrayList() << QByteArrayList() << QByteArray("CR7") << QByteArray("00\r")
            << QByteArray(" All OFF : 2 Lamp mode");
        QTest::newRow("CR7 two lamps lit")
            << on << QByteArrayList() << QByteArray("CR7") << QByteArray("03\r")
            << QByteArray(" No1,2 ON  : 2 Lamp mode");
        QTest::newRow("CR7 lamp 1 lit")
            << QByteArrayList{"--power", "on", "--lamp-mode", "no1"} << QByteArrayList()
            << QByteArray("CR7") << QByteArray("11\r")
            << QByteArray(" No1 ON  : 1 Lamp mode(No1 USE)");
        QTest::newRow("CR7 lamp 2 off")
            << QByteArrayList{"--lamp-mode", "no2"} << QByteArrayList() << QByteArray("CR7")
            << QByteArray("20\r") << QByteArray(" All OFF : 1 Lamp mode(No2 USE)");
        QTest::newRow("CR7 lamp 2 lit")
            << QByteArrayList{"--lamp-mode", "no2"} << QByteArrayList{"C00"} << QByteArray("CR7")
            << QByteArray("22\r") << QByteArray(" No2 ON  : 1 Lamp mode(No2 USE)");
        QTest::newRow("CR9") << QByteArrayList() << QByteArrayList() << QByteArray("CR9")
                             << QByteArray("VX37 SIMULATOR\r")
                             << QByteArray(" V X 3 7   S I M U L A T O R CR ");
        QTest::newRow("CRA stand-by") << QByteArrayList() << QByteArrayList() << QByteArray("CRA")
                                      << QByteArray("FF\r") << QByteArray(" Stand by");
        QTest::newRow("CRA no mute") << on << QByteArrayList() << QByteArray("CRA")
                                     << QByteArray("00\r") << QByteArray(" Video & Audio mute OFF");
        QTest::newRow("CRA picture mute") << on << QByteArrayList{"C0D"} << QByteArray("CRA")
                                          << QByteArray("01\r") << QByteArray(" Video mute ON");
        QTest::newRow("CRA sound mute") << on << QByteArrayList{"C0B"} << QByteArray("CRA")
                                        << QByteArray("02\r") << QByteArray(" Audio mute ON");
        QTest::newRow("CRA both mutes")
            << on << QByteArrayList{"C0B", "C0D"} << QByteArray("CRA") << QByteArray("03\r")
            << QByteArray(" Video & Audio mute ON");
        QTest::newRow("CRA no signal")
            << QByteArrayList{"--power", "on", "--no-signal"} << QByteArrayList()
            << QByteArray("CRA") << QByteArray("80\r") << QByteArray(" No signal");
        QTest::newRow("CR PRESSURE sea level")
            << QByteArrayList() << QByteArrayList() << QByteArray("CR PRESSURE")
            << QByteArray("853\r") << QByteArray("1013 hPa");
        QTest::newRow("CR PRESSURE mountain")
            << QByteArrayList{"--pressure", "700"} << QByteArrayList() << QByteArray("CR PRESSURE")
            << QByteArray("559\r") << QByteArray("700 hPa");
    }

    void repliesInTheFormatsThePanelDecodes()
    {
        QFETCH(QByteArrayList, options);
        QFETCH(QByteArrayList, commands);
        QFETCH(QByteArray, query);
        QFETCH(QByteArray, reply);
        QFETCH(QByteArray, status);

        ProjectorSettings settings = settingsFrom(options);
        // Warmed up when started on; the warm row reads the sensors at their final value.
        Projector projector(settings);
        std::int64_t now = 0;
        for (const QByteArray& command : commands)
            QVERIFY(projector.handle(command.toStdString(), now += 10).known);
        const Outcome outcome = projector.handle(query.toStdString(), now += 10);
        QCOMPARE(QByteArray::fromStdString(outcome.reply), reply);
        QCOMPARE(decoded(query.toStdString(), outcome.reply), std::optional(status.toStdString()));
    }

    void pressureReadsBackAsTheSimulatedPressure()
    {
        // One step of the sensor is about 1.06 hPa, so the panel reads back the pressure
        // to within one hPa, never further off.
        for (int hpa = 150; hpa <= 1200; ++hpa) {
            ProjectorSettings settings;
            settings.pressureHpa = hpa;
            const auto reply = Projector(settings).statusReply("CR PRESSURE");
            QVERIFY(reply);
            const auto shown = decoded("CR PRESSURE", *reply);
            QVERIFY(shown && shown->ends_with(" hPa"));
            const int readBack = std::stoi(*shown);
            QVERIFY2(std::abs(readBack - hpa) <= 1, shown->c_str());
        }
    }

    void lampHoursKeepFiveDigits()
    {
        ProjectorSettings settings;
        settings.lampHours = 99999;
        settings.hourMs = 1;
        settings.power = Power::On;
        Projector projector(settings);
        projector.advanceTo(1000);
        QCOMPARE(projector.statusReply("CR3"), std::optional<std::string>("99999\r"));
    }
};

VX37_TEST(StatusReplyTest)
#include "test_status_replies.moc"
