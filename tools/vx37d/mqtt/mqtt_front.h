#pragma once

#include "line/projector_line.h"
#include "mqtt/mqtt_link.h"
#include "mqtt/mqtt_mapping.h"

#include <QObject>

#include <deque>
#include <map>
#include <string>

namespace vx37::mqtt {

// The MQTT front-end: the line owner's readings as retained state topics, published on
// change and all again on every connection; the command topics run through the line; the
// discovery configs; availability, "online" only while both the broker and the projector's
// line are up. Readings come from the line owner's poll; a command adds its own frame and
// one query that reads back the state it changed.
class MqttFront : public QObject
{
    Q_OBJECT

public:
    // Commands of MQTT on the line or waiting for it at once; more are refused.
    static constexpr int kMostRunning = 8;
    // Answers waiting for the broker; the oldest are dropped beyond this.
    static constexpr std::size_t kMostAnswers = 32;
    static constexpr int kFollowUpMs = ProjectorLine::kPollAnswerMs;

    MqttFront(ProjectorLine& line, MqttLink& link, Device device, ProjectorLine::Clock now,
              QObject* parent = nullptr);

    // The broker connection is (re)made: subscribe, and publish everything again.
    void connected();
    // What waited to be written is out: publish what waits here.
    void flush();
    // A message on a topic this subscribed to.
    void message(const std::string& topic, const std::string& payload);

    const Device& device() const { return device_; }
    std::string topic(std::string_view relative) const { return root_ + '/' + std::string(relative); }

private:
    void readingChanged(const std::string& code);
    void set(const std::string& topic, const std::string& payload);
    void answer(std::string json);

    ProjectorLine& line_;
    MqttLink& link_;
    Device device_;
    std::string root_;
    ProjectorLine::Clock now_;
    int running_ = 0;
    std::map<std::string, std::string> published_; // each retained topic's last value out
    std::map<std::string, std::string> waiting_;   // retained values not yet out
    std::deque<std::string> answers_;
};

} // namespace vx37::mqtt
