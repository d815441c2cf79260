#pragma once

#include "mqtt/mqtt_client.h"
#include "mqtt/mqtt_front.h"

namespace vx37::mqtt {

// The MQTT front-end as vx37d runs it: the client of the plan's broker and the front-end
// on the line, wired together.
class MqttService
{
public:
    MqttService(ProjectorLine& line, const daemon::ServerPlan& plan, const std::string& caFile,
                Device device, ProjectorLine::Clock now);

    // "HOST:PORT as vx37/NAME", for the log.
    QString where() const;
    MqttClient& client() { return client_; }
    void start() { client_.start(); }

private:
    daemon::BrokerAddress broker_;
    MqttClient client_;
    MqttFront front_;
};

} // namespace vx37::mqtt
