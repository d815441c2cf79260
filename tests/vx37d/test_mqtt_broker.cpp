#include "event_wait.h"
#include "mosquitto_process.h"
#include "sim_process.h"
#include "test_registry.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <csignal>

// vx37d against vx37-sim and Debian's mosquitto, checked with mosquitto_sub and
// mosquitto_pub: discovery, states, commands, availability, the will, a broker restart.
class MqttBrokerTest : public QObject
{
    Q_OBJECT

private slots:
    void endToEnd()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath("com1");
        const QStringList simArgs{"--link", link, "--quiet", "--count-down", "1000", "--ambient",
                                  "31", "--lamp-hours", "4321"};
        QProcess sim;
        sim.start(SimProcess::program(), simArgs);
        QVERIFY(sim.waitForReadyRead(5000));
        MosquittoProcess broker;
        QProcess daemon;
        daemon.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        daemon.start(VX37D_PATH, {"--port", link, "--http", "off", "--share", "off", "--pjlink",
                                  "off", "--poll", "1", "--name", "e2e room", "--mqtt", broker.url()});
        const QString root = "vx37/e2e_room/";
        const auto has = [&](const QString& topic, const QString& payload) {
            return waitUntil([&] { return broker.last.value(topic) == payload; }, 15000);
        };
        // Every config, once all 13 are there and each state topic they name has a value.
        const auto configs = [&] {
            QList<QJsonObject> found;
            for (auto it = broker.last.cbegin(); it != broker.last.cend(); ++it)
                if (it.key().startsWith("homeassistant/") && it.key().endsWith("/config"))
                    found << QJsonDocument::fromJson(it.value().toUtf8()).object();
            const bool all = std::all_of(found.begin(), found.end(), [&](const QJsonObject& config) {
                return broker.last.contains(config["state_topic"].toString()); });
            return all && found.size() == 13 ? found : QList<QJsonObject>();
        };
        // Discovery, and every state its configs name, from the first poll rounds.
        QVERIFY(has(root + "availability", "online") && waitUntil([&] { return !configs().isEmpty(); }, 15000));
        for (const QJsonObject& config : configs()) {
            QVERIFY(!config.value("unique_id").toString().isEmpty());
            QCOMPARE(config["availability"][0]["topic"].toString(), root + "availability");
        }
        QCOMPARE(broker.last.value(root + "lamp_hours"), "4321");
        for (const char* sensor : {"1", "2", "3"})
            QCOMPARE(broker.last.value(root + "temperature/" + sensor), "31");

        // Power on: warming up, then on.
        QVERIFY(broker.publish(root + "power/set", "ON"));
        QVERIFY(has(root + "state", "on"));
        QVERIFY(broker.seen.contains(root + "state warming"));
        QCOMPARE(broker.last.value(root + "power"), "ON");
        // Each command topic round-trips into its state topic.
        for (const QJsonObject& config : configs()) {
            if (!config.contains("command_topic") || config["name"] == "Power")
                continue;
            const QString value = config.contains("options") ? "Video" : "ON";
            QVERIFY(broker.publish(config["command_topic"].toString(), value));
            QVERIFY2(has(config["state_topic"].toString(), value), qPrintable(config["name"].toString()));
        }
        QVERIFY(broker.publish(root + "command", "lamp-time"));
        QVERIFY(waitUntil([&] { return broker.last.value(root + "answer").contains("\"value\":4321"); }, 5000));

        // The projector gone and back; the broker restarted; vx37d killed.
        sim.terminate();
        QVERIFY(sim.waitForFinished(5000));
        QVERIFY(has(root + "availability", "offline"));
        sim.start(SimProcess::program(), simArgs);
        QVERIFY(has(root + "availability", "online"));
        broker.stop();
        QVERIFY(broker.start() && waitUntil([&] { return !configs().isEmpty(); }, 15000));
        QVERIFY(has(root + "availability", "online"));
        ::kill(static_cast<pid_t>(daemon.processId()), SIGKILL);
        QVERIFY(has(root + "availability", "offline"));
        sim.terminate();
    }
};

VX37_TEST(MqttBrokerTest)
#include "test_mqtt_broker.moc"
