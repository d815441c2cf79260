#include "mqtt/mqtt_service.h"

namespace vx37::mqtt {

MqttService::MqttService(ProjectorLine& line, const daemon::ServerPlan& plan,
                         const std::string& caFile, Device device, ProjectorLine::Clock now)
    : broker_(*plan.mqtt),
      client_({broker_, plan.mqttPassword, caFile, "vx37-" + topicSafe(device.name),
               device.root() + '/' + std::string(kAvailability)}),
      front_(line, client_, std::move(device), std::move(now))
{
    QObject::connect(&client_, &MqttClient::connected, &front_, &MqttFront::connected);
    QObject::connect(&client_, &MqttClient::drained, &front_, &MqttFront::flush);
    QObject::connect(&client_, &MqttClient::message, &front_, &MqttFront::message);
}

QString MqttService::where() const
{
    return QStringLiteral("%1:%2 as %3")
        .arg(QString::fromStdString(broker_.host))
        .arg(broker_.port)
        .arg(QString::fromStdString(front_.device().root()));
}

} // namespace vx37::mqtt
