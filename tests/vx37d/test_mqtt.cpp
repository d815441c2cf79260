#include "link/memory_serial_control.h"
#include "link/virtual_clock.h"
#include "event_wait.h"
#include "mqtt/mqtt_client.h"
#include "mqtt/mqtt_front.h"
#include "pjlink/pjlink_bridge.h"

#include "test_registry.h"

#include <QTest>

using namespace vx37;
using namespace vx37::mqtt;

namespace {

// The broker side as the front-end sees it: what it was handed, "topic=payload" each.
struct Recorder : MqttLink
{
    bool ready() const override { return up; }
    void publish(const std::string& t, const std::string& p, bool) override { sent << QString::fromStdString(t + '=' + p); }
    void subscribe(const std::string&) override {}
    bool up = true;
    QStringList sent;
};

// The front-end on an in-memory line in virtual time; the line is up, its readings stale.
struct Rig
{
    Rig() { line.start(), port.receive("80\r"), clock.advance(ProjectorLine::kFreshMs + 1), link.sent.clear(); }
    VirtualClock clock;
    ProjectorLine::Clock now = [this] { return clock.now(); };
    MemorySerialControl port;
    ProjectorLine line{port, clock.createTimer(0), clock.createTimer(0), clock.createTimer(0),
                       now, 5000, pjlink::Bridge::polledQueries()};
    Recorder link;
    MqttFront front{line, link, {"room 1", "", "1.40"}, now};
};

} // namespace

class MqttTest : public QObject
{
    Q_OBJECT

private slots:
    void states_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("states"); // topic=payload, blank-separated
        const auto row = [](const char* name, auto... columns) { (QTest::newRow(name) << ... << columns); };
        row("stand-by", "CR0", "80\r", "state=standby power=OFF problem/lamp=OFF problem/temperature=OFF problem/power=OFF");
        row("warming up", "CR0", "40\r", "state=warming power=ON problem/lamp=OFF problem/temperature=OFF problem/power=OFF");
        row("temperature, cooling", "CR0", "28\r", "state=cooling power=OFF problem/lamp=OFF problem/temperature=ON problem/power=OFF");
        row("lamps failed", "CR0", "81\r", "state=standby power=OFF problem/lamp=ON problem/temperature=OFF problem/power=OFF");
        row("power failure", "CR0", "10\r", "state=error power=OFF problem/lamp=OFF problem/temperature=OFF problem/power=ON");
        row("video", "CR1", "3\r", "input=Video");
        row("both muted", "CRA", "03\r", "picture_mute=ON sound_mute=ON");
        row("no signal", "CRA", "80\r", "picture_mute=OFF sound_mute=OFF");
        row("mutes untold in stand-by", "CRA", "FF\r", "picture_mute=None sound_mute=None");
        row("lamp hours", "CR3", "01234\r", "lamp_hours=1234");
        row("temperatures", "CR6", "025.0 045.5 060.0\r", "temperature/1=25 temperature/2=45.5 temperature/3=60");
        row("pressure", "CR PRESSURE", "853\r", "pressure=1013");
        row("pressure out of range", "CR PRESSURE", "9999\r", "");
        row("an error reply", "CR3", "ERR\r", "");
    }
    void states()
    {
        QFETCH(QString, code); QFETCH(QString, reply); QFETCH(QString, states);
        QStringList got;
        for (const Message& m : statesOf(code.toStdString(), reply.toStdString()))
            got << QString::fromStdString(m.topic + '=' + m.payload);
        QCOMPARE(got.join(u' '), states);
    }

    void commands_data()
    {
        QTest::addColumn<QString>("topic");
        QTest::addColumn<QString>("payload");
        QTest::addColumn<QString>("name"); // empty: refused
        QTest::addColumn<QString>("followUp");
        const auto row = [](const char* name, auto... columns) { (QTest::newRow(name) << ... << columns); };
        row("power on", "power/set", "ON", "power-on", "CR0");
        row("power off, any case", "power/set", " off\n", "power-off", "CR0");
        row("picture mute", "picture_mute/set", "ON", "no-show-on", "CRA");
        row("input", "input/set", "Computer 2", "input-pc2", "CR1");
        row("input no button selects", "input/set", "Input mode 4", "", "");
        row("neither on nor off", "power/set", "TOGGLE", "", "");
        row("generic", "command", "lamp-time", "lamp-time", "");
        row("overlong", "command", QString(65, u'a'), "", "");
        row("no such topic", "power", "ON", "", "");
    }
    void commands()
    {
        QFETCH(QString, topic); QFETCH(QString, payload); QFETCH(QString, name); QFETCH(QString, followUp);
        const CommandRequest request = commandFor(topic.toStdString(), payload.toStdString());
        QCOMPARE(QString::fromStdString(request.name), name);
        QCOMPARE(QString::fromStdString(request.followUp), followUp);
        QCOMPARE(request.error.empty(), !request.name.empty());
    }

    // Commands wait in the line's queue with no deadline: a flood is refused beyond a few.
    // One the projector does not answer: its failure on the answer topic, and no state.
    void failedAndFlood()
    {
        Rig rig;
        for (int i = 0; i <= MqttFront::kMostRunning; ++i)
            rig.front.message("vx37/room_1/power/set", "ON");
        QCOMPARE(rig.link.sent.size(), 1);
        QVERIFY(rig.link.sent.takeFirst().contains("running already"));
        rig.clock.advance(60000);
        QCOMPARE(rig.link.sent.filter("\"error\":\"no reply").size(), MqttFront::kMostRunning);
        QCOMPARE(rig.link.sent.filter("/state=").size(), 0);
    }

    // While the broker takes nothing, each topic keeps only its latest value; a new session
    // gets discovery and every state again.
    void slowBrokerThenReconnect()
    {
        Rig rig;
        rig.link.up = false;
        for (const char* reply : {"80\r", "40\r", "00\r"}) {
            rig.line.ask("CR0", rig.clock.now() + 2000, [](const auto&) {});
            rig.port.receive(reply);
            rig.clock.advance(ProjectorLine::kFreshMs + 1);
        }
        rig.link.up = true;
        rig.front.flush();
        QCOMPARE(rig.link.sent.filter("/state=").join(u' '), "vx37/room_1/state=on");
        rig.link.sent.clear();
        rig.front.connected();
        QCOMPARE(rig.link.sent.filter("homeassistant/").size(), 13);
        QVERIFY(rig.link.sent.contains("vx37/room_1/state=on"));
    }

    // An mqtts broker that refuses the connection is a loss told at once, not a handshake
    // retried in a busy loop until the connection's time is up.
    void tlsRefused()
    {
        MqttClient client({{true, "", "127.0.0.1", 1}, "", "", "vx37-test", "t/availability"});
        QStringList log;
        connect(&client, &MqttClient::logged, [&](const QString& text) { log << text; });
        client.start();
        QVERIFY(waitUntil([&] { return !log.isEmpty(); }, 3000)); // not the 15 s give-up
    }
};

VX37_TEST(MqttTest)
#include "test_mqtt.moc"
