#include "mqtt/mqtt_client.h"

#include <QHostAddress>
#include <QHostInfo>

#include <mosquitto.h>

#include <cerrno>
#include <cstring>

#include <sys/socket.h>

namespace vx37::mqtt {

namespace {

// libmosquitto's texts end in a full stop; the log lines go on after them.
QString clause(const char* text)
{
    const QString clause = QString::fromLocal8Bit(text);
    return clause.endsWith(u'.') ? clause.chopped(1) : clause;
}

QString errorText(int rc)
{
    return clause(rc == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(rc));
}

MqttClient* self(void* object)
{
    return static_cast<MqttClient*>(object);
}

} // namespace

MqttClient::MqttClient(Settings settings, QObject* parent)
    : QObject(parent), settings_(std::move(settings))
{
    static const int initialised = mosquitto_lib_init();
    (void)initialised;
    misc_.setInterval(1000);
    clock_.start();
    connect(&misc_, &QTimer::timeout, this, [this] {
        if (reading_)
            serviced(mosquitto_loop_misc(mosq_));
        for (const QString& held : limiter_.ended(clock_.elapsed()))
            emit logged(held, true);
    });
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, &MqttClient::tryConnect);
    giveUp_.setSingleShot(true);
    connect(&giveUp_, &QTimer::timeout, this,
            [this] { lost(QStringLiteral("no answer in %1 s").arg(kConnectMs / 1000)); });
}

MqttClient::~MqttClient()
{
    if (connected_) {
        mosquitto_disconnect_callback_set(mosq_, nullptr); // not a loss to tell of
        // A clean end takes back the will: say it ourselves.
        mosquitto_publish(mosq_, nullptr, settings_.willTopic.c_str(), 7, "offline", 1, true);
        mosquitto_disconnect(mosq_);
    }
    if (mosq_)
        mosquitto_destroy(mosq_);
}

void MqttClient::start()
{
    misc_.start();
    tryConnect();
}

bool MqttClient::ready() const
{
    return connected_ && !mosquitto_want_write(mosq_);
}

void MqttClient::publish(const std::string& topic, const std::string& payload, bool retain)
{
    // QoS 0: retained states are all published again on a new connection anyway. A failure
    // shows on the socket, where it is handled.
    if (connected_)
        mosquitto_publish(mosq_, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                          payload.data(), 0, retain);
    if (writing_)
        writing_->setEnabled(mosquitto_want_write(mosq_));
}

void MqttClient::subscribe(const std::string& topic)
{
    if (connected_)
        mosquitto_subscribe(mosq_, nullptr, topic.c_str(), 1);
}

void MqttClient::tryConnect()
{
    // A fresh client each time: whatever state the last one was left in goes with it.
    if (mosq_)
        mosquitto_destroy(mosq_);
    mosq_ = mosquitto_new(settings_.clientId.c_str(), true, this);
    const daemon::BrokerAddress& broker = settings_.broker;
    mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_will_set(mosq_, settings_.willTopic.c_str(), 7, "offline", 1, true);
    if (!broker.user.empty())
        mosquitto_username_pw_set(mosq_, broker.user.c_str(),
                                  settings_.password.empty() ? nullptr : settings_.password.c_str());
    if (broker.tls) {
        // The system's CAs unless one is given: Debian keeps them, hashed, here.
        const bool system = settings_.caFile.empty();
        const int rc = mosquitto_tls_set(mosq_, system ? nullptr : settings_.caFile.c_str(),
                                         system ? "/etc/ssl/certs" : nullptr, nullptr, nullptr,
                                         nullptr);
        if (rc != MOSQ_ERR_SUCCESS)
            return lost(QStringLiteral("cannot use the CA %1: %2")
                            .arg(QString::fromStdString(system ? "/etc/ssl/certs" : settings_.caFile),
                                 errorText(rc)));
    }
    mosquitto_connect_callback_set(mosq_, [](mosquitto*, void* object, int rc) {
        if (rc != 0)
            return self(object)->lost(QStringLiteral("the broker refused: ") +
                                      clause(mosquitto_connack_string(rc)));
        self(object)->connected_ = true;
        self(object)->retryMs_ = kFirstRetryMs;
        self(object)->giveUp_.stop();
        self(object)->tell(QStringLiteral("MQTT connected"), false);
        emit self(object)->connected();
    });
    mosquitto_disconnect_callback_set(mosq_, [](mosquitto*, void* object, int rc) {
        self(object)->lost(errorText(rc));
    });
    mosquitto_message_callback_set(mosq_, [](mosquitto*, void* object,
                                             const mosquitto_message* message) {
        emit self(object)->message(message->topic,
                                   std::string(static_cast<const char*>(message->payload),
                                               static_cast<std::size_t>(message->payloadlen)));
    });

    // The name is looked up here without waiting; libmosquitto would block on it. A TLS
    // connection goes by the name, which its certificate is checked against.
    const QString host = QString::fromStdString(broker.host);
    const int attempt = ++attempt_;
    giveUp_.start(kConnectMs); // a lookup that hangs included
    QHostInfo::lookupHost(host, this, [this, host, attempt](const QHostInfo& info) {
        if (attempt != attempt_)
            return; // given up on: a later try is under way
        if (info.error() != QHostInfo::NoError || info.addresses().isEmpty())
            return lost(QStringLiteral("cannot find %1: %2").arg(host, info.errorString()));
        const std::string target = settings_.broker.tls
                                       ? settings_.broker.host
                                       : info.addresses().constFirst().toString().toStdString();
        const int rc = mosquitto_connect_async(mosq_, target.c_str(), settings_.broker.port,
                                               kKeepAliveSeconds);
        if (rc != MOSQ_ERR_SUCCESS)
            return lost(errorText(rc));
        watch();
    });
}

void MqttClient::watch()
{
    const int socket = mosquitto_socket(mosq_);
    if (socket < 0)
        return lost(QStringLiteral("no socket"));
    reading_ = std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Read);
    writing_ = std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Write);
    connect(reading_.get(), &QSocketNotifier::activated, this, [this, socket] {
        // Before the session, libmosquitto's TLS handshake takes a refused or closed
        // connection for one still to be made, and is called again at once, for ever.
        char byte = 0;
        const auto peeked = connected_ ? 1 : ::recv(socket, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        if (peeked == 0)
            return lost(QStringLiteral("the broker closed the connection"));
        if (peeked < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return lost(QString::fromLocal8Bit(std::strerror(errno)));
        serviced(mosquitto_loop_read(mosq_, 1));
    });
    connect(writing_.get(), &QSocketNotifier::activated, this,
            [this] { serviced(mosquitto_loop_write(mosq_, 1)); });
    writing_->setEnabled(mosquitto_want_write(mosq_));
}

void MqttClient::serviced(int rc)
{
    if (rc != MOSQ_ERR_SUCCESS)
        return lost(errorText(rc));
    if (!writing_)
        return;
    const bool more = mosquitto_want_write(mosq_);
    writing_->setEnabled(more);
    if (!more && connected_)
        emit drained();
}

void MqttClient::lost(const QString& why)
{
    if (retry_.isActive())
        return; // told already
    connected_ = false;
    giveUp_.stop();
    // Called from within the notifiers' own signals: they are let go of later, unwatched.
    for (auto* notifier : {&reading_, &writing_}) {
        if (*notifier) {
            (*notifier)->setEnabled(false);
            notifier->release()->deleteLater();
        }
    }
    tell(QStringLiteral("MQTT broker %1:%2: %3; trying again every %4 s at most")
             .arg(QString::fromStdString(settings_.broker.host))
             .arg(settings_.broker.port)
             .arg(why)
             .arg(kLastRetryMs / 1000),
         true);
    retry_.start(retryMs_);
    retryMs_ = std::min(retryMs_ * 2, kLastRetryMs);
}

void MqttClient::tell(const QString& text, bool fault)
{
    // Once per change: a broker that stays away is not told of at every try.
    if (text == lastTold_ || !limiter_.admit(QStringLiteral("MQTT"), clock_.elapsed()))
        return;
    lastTold_ = text;
    emit logged(text, fault);
}

} // namespace vx37::mqtt
