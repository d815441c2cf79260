#include "mqtt/mqtt_front.h"

#include "ctl/command_line.h"
#include "line/named_command.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace vx37::mqtt {

MqttFront::MqttFront(ProjectorLine& line, MqttLink& link, Device device,
                     ProjectorLine::Clock now, QObject* parent)
    : QObject(parent), line_(line), link_(link), device_(std::move(device)),
      root_(device_.root()), now_(std::move(now))
{
    connect(&line_, &ProjectorLine::readingChanged, this, &MqttFront::readingChanged);
    connect(&line_, &ProjectorLine::upChanged, this, [this](bool up) {
        set(topic(kAvailability), std::string(up ? kOnline : kOffline));
    });
}

void MqttFront::connected()
{
    // A new session: the broker may have lost everything retained (restarted, say).
    published_.clear();
    for (const std::string& command : commandTopics())
        link_.subscribe(topic(command));
    for (const Message& config : discoveryConfigs(device_))
        waiting_[config.topic] = config.payload;
    waiting_[topic(kAvailability)] = std::string(line_.isUp() ? kOnline : kOffline);
    for (const std::string& code : stateQueries())
        readingChanged(code);
    flush();
}

void MqttFront::readingChanged(const std::string& code)
{
    if (const ProjectorLine::Reading* reading = line_.lastReading(code))
        for (const Message& state : statesOf(code, reading->reply))
            set(topic(state.topic), state.payload);
}

void MqttFront::set(const std::string& topic, const std::string& payload)
{
    const auto out = published_.find(topic);
    if (out != published_.end() && out->second == payload)
        waiting_.erase(topic); // back to what is out: a value still waiting is stale
    else
        waiting_[topic] = payload;
    flush();
}

void MqttFront::answer(std::string json)
{
    answers_.push_back(std::move(json));
    if (answers_.size() > kMostAnswers)
        answers_.pop_front();
    flush();
}

void MqttFront::flush()
{
    if (!link_.ready())
        return;
    for (const std::string& json : answers_)
        link_.publish(topic(kAnswer), json, false);
    answers_.clear();
    for (auto& [topic, payload] : waiting_) {
        link_.publish(topic, payload, true);
        published_[topic] = std::move(payload);
    }
    waiting_.clear();
}

void MqttFront::message(const std::string& fullTopic, const std::string& payload)
{
    const std::string prefix = root_ + '/';
    if (!fullTopic.starts_with(prefix))
        return;
    const std::string relative = fullTopic.substr(prefix.size());
    const CommandRequest request = commandFor(relative, payload);
    const auto refuse = [&](const std::string& why) {
        const QJsonObject object{
            {"topic", QString::fromStdString(ctl::cutForMessage(relative))},
            {"payload", QString::fromLatin1(ctl::cutForMessage(payload))},
            {"error", QString::fromStdString(why)}};
        answer(QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString());
    };
    if (request.name.empty())
        return refuse(request.error);
    // Each waits in the line's queue with no deadline: a flood of commands must not grow it.
    if (running_ >= kMostRunning)
        return refuse(std::to_string(kMostRunning) + " commands are running already: "
                      "nothing was sent");
    ++running_;
    runNamedCommand(line_, request.name, [this, followUp = request.followUp](const NamedAnswer& a) {
        --running_;
        answer(a.json);
        // The state changed: read it back now rather than at the next poll.
        if (a.outcome == NamedAnswer::Outcome::Answered && !followUp.empty())
            line_.ask(followUp, now_() + kFollowUpMs, [](const ProjectorLine::Reply&) {});
    });
}

} // namespace vx37::mqtt
