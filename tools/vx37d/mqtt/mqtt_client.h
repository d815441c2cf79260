#pragma once

#include "log_limiter.h"
#include "mqtt/mqtt_link.h"
#include "options.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <memory>
#include <string>

struct mosquitto;

namespace vx37::mqtt {

// A broker connection through libmosquitto, run from the Qt event loop: socket notifiers
// for reading and writing, a timer for its keep-alive; no thread of its own. It connects
// without waiting, and again after a loss or a failed try, 1 s later, then twice as long
// each time up to 60 s. Its will, "offline" retained on the availability topic, is what the
// broker publishes when vx37d goes without a word; a clean end publishes it first.
class MqttClient : public QObject, public MqttLink
{
    Q_OBJECT

public:
    static constexpr int kFirstRetryMs = 1000;
    static constexpr int kLastRetryMs = 60000;
    static constexpr int kKeepAliveSeconds = 30;
    // A connection not made by then is given up and tried again.
    static constexpr int kConnectMs = 15000;

    struct Settings
    {
        daemon::BrokerAddress broker;
        std::string password;
        std::string caFile; // empty: the system's
        std::string clientId;
        std::string willTopic;
    };

    explicit MqttClient(Settings settings, QObject* parent = nullptr);
    ~MqttClient() override;

    void start();

    bool ready() const override;
    void publish(const std::string& topic, const std::string& payload, bool retain) override;
    void subscribe(const std::string& topic) override;

signals:
    void connected();
    void drained(); // what waited to be written is out
    void message(const std::string& topic, const std::string& payload);
    void logged(const QString& text, bool fault);

private:
    void tryConnect();
    void lost(const QString& why);
    void watch();
    void serviced(int rc);
    void tell(const QString& text, bool fault);

    Settings settings_;
    mosquitto* mosq_ = nullptr;
    bool connected_ = false;
    int retryMs_ = kFirstRetryMs;
    int attempt_ = 0;
    QString lastTold_;
    daemon::LogLimiter limiter_; // a broker that takes and drops each connection at once
    QElapsedTimer clock_;
    std::unique_ptr<QSocketNotifier> reading_;
    std::unique_ptr<QSocketNotifier> writing_;
    QTimer misc_;
    QTimer retry_;
    QTimer giveUp_;
};

} // namespace vx37::mqtt
