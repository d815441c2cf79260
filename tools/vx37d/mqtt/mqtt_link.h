#pragma once

#include <string>

namespace vx37::mqtt {

// What the front-end needs of a broker connection; the client (mqtt_client.h) is one, a
// test's recorder another.
class MqttLink
{
public:
    virtual ~MqttLink() = default;
    // Connected, and nothing handed over before still waits to be written: what is
    // published now goes out at once. While not, the front-end keeps only each topic's
    // latest value, so a slow broker holds back no more than that.
    virtual bool ready() const = 0;
    virtual void publish(const std::string& topic, const std::string& payload, bool retain) = 0;
    virtual void subscribe(const std::string& topic) = 0; // QoS 1
};

} // namespace vx37::mqtt
