#include "mqtt/mqtt_mapping.h"

#include "commands/monitor_text.h"
#include "ctl/command_line.h"
#include "ctl/command_names.h"
#include "pjlink/pjlink_mapping.h"
#include "replies/reply_forms.h"
#include "replies/status_decoders.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <array>

namespace vx37::mqtt {

namespace {

using pjlink::Query;

std::string code(Query query)
{
    return std::string(pjlink::queryCode(query));
}

std::string onOff(bool on)
{
    return on ? "ON" : "OFF";
}

std::string_view trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

bool sameWord(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return std::toupper(static_cast<unsigned char>(x)) ==
                                                  std::toupper(static_cast<unsigned char>(y)); });
}

// The vx37-ctl name of a button of the panel.
std::string nameOf(std::string_view control)
{
    const auto names = ctl::buttonNames();
    return std::string(std::find_if(names.begin(), names.end(), [control](const auto& button) {
                           return button.control == control;
                       })->name);
}

// The operating state as the power state sensor's plain values, from PJLink's POWR value.
std::string powerState(std::string_view powr)
{
    constexpr std::array<std::pair<std::string_view, std::string_view>, 4> kStates{
        {{"0", "standby"}, {"1", "on"}, {"2", "cooling"}, {"3", "warming"}}};
    for (const auto& [value, state] : kStates)
        if (value == powr)
            return std::string(state);
    return "error"; // ERR4: power failure
}
constexpr std::array kPowerStates{"standby", "warming", "on", "cooling", "error"};

// The inputs a button selects, named as the status line names them.
struct InputButton
{
    std::string_view name;
    std::string_view control;
};
constexpr std::array<InputButton, 3> kInputs{
    {{"Computer 1", "Command27"}, {"Computer 2", "Command28"}, {"Video", "Command29"}}};

// A switch's command topic: its buttons for ON and OFF, and the query that reads it.
struct SwitchTopic
{
    std::string_view topic;
    std::string_view on;
    std::string_view off;
    Query query;
};
constexpr std::array<SwitchTopic, 3> kSwitches{{
    {"power/set", "Command17", "Command18", Query::Power},
    {"picture_mute/set", "Command21", "Command22", Query::Mute},
    {"sound_mute/set", "Command19", "Command20", Query::Mute},
}};
constexpr std::string_view kInputSet = "input/set";

// Longer payloads are no name of a command nor a switch's value.
constexpr std::size_t kLongestPayload = 64;

} // namespace

std::string topicSafe(std::string_view name)
{
    std::string safe;
    for (const char c : name)
        safe += std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' ? c : '_';
    return safe.empty() ? "projector" : safe;
}

std::string Device::root() const
{
    return "vx37/" + topicSafe(name);
}

std::string Device::nodeId() const
{
    return "vx37_" + topicSafe(name);
}

std::vector<std::string> stateQueries()
{
    return {code(Query::Power), code(Query::Input), code(Query::Mute), code(Query::LampHours),
            "CR6", "CR PRESSURE"};
}

std::vector<Message> statesOf(std::string_view query, std::string_view reply)
{
    if (!isAnswerTo(query, reply))
        return {};
    if (query == code(Query::Power)) {
        const pjlink::PowerRow* row = pjlink::powerRow(reply);
        if (!row)
            return {};
        const std::string state = powerState(row->powr);
        // ERST: fan, lamp, temperature, ...
        return {{"state", state},
                {"power", onOff(state == "on" || state == "warming")},
                {"problem/lamp", onOff(row->erst[1] != '0')},
                {"problem/temperature", onOff(row->erst[2] != '0')},
                {"problem/power", onOff(state == "error")}};
    }
    if (query == code(Query::Input)) {
        const auto name = decodeSelectedInput(renderMonitorText(reply));
        return {{"input", std::string(trimmed(name.value_or("")))}};
    }
    if (query == code(Query::Mute)) {
        const pjlink::MuteRow* row = pjlink::muteRow(reply);
        if (!row)
            return {};
        if (row->avmt == "ERR3") // stand-by: the projector does not say
            return {{"picture_mute", "None"}, {"sound_mute", "None"}};
        return {{"picture_mute", onOff(row->avmt == "11" || row->avmt == "31")},
                {"sound_mute", onOff(row->avmt == "21" || row->avmt == "31")}};
    }
    if (query == code(Query::LampHours))
        return {{"lamp_hours", std::to_string(*lampHours(reply))}};
    if (query == "CR6") {
        const auto sensors = *temperatures(reply);
        std::vector<Message> states;
        for (std::size_t i = 0; i < sensors.size(); ++i)
            states.push_back({"temperature/" + std::to_string(i + 1),
                              QString::number(sensors[i]).toStdString()});
        return states;
    }
    if (query == "CR PRESSURE") {
        std::int16_t hPa = 0;
        if (decodePressure(renderMonitorText(reply), hPa) == kPressureOutOfRange)
            return {};
        return {{"pressure", std::to_string(hPa)}};
    }
    return {};
}

std::vector<std::string> commandTopics()
{
    std::vector<std::string> topics;
    for (const SwitchTopic& row : kSwitches)
        topics.emplace_back(row.topic);
    topics.emplace_back(kInputSet);
    topics.emplace_back(kCommand);
    return topics;
}

CommandRequest commandFor(std::string_view topic, std::string_view payload)
{
    if (payload.size() > kLongestPayload)
        return {{}, {}, "a payload of " + std::to_string(payload.size()) + " bytes; at most " +
                            std::to_string(kLongestPayload) + " are taken"};
    const std::string_view value = trimmed(payload);
    if (topic == kCommand) {
        if (value.empty())
            return {{}, {}, "no command named: the payload is a vx37-ctl name, as `vx37-ctl "
                            "--list` lists them"};
        return {std::string(value), {}, {}};
    }
    for (const SwitchTopic& row : kSwitches) {
        if (topic != row.topic)
            continue;
        if (sameWord(value, "ON") || sameWord(value, "OFF"))
            return {nameOf(sameWord(value, "ON") ? row.on : row.off), code(row.query), {}};
        return {{}, {}, "'" + ctl::cutForMessage(value) + "' is neither ON nor OFF"};
    }
    if (topic == kInputSet) {
        for (const InputButton& input : kInputs)
            if (sameWord(value, input.name))
                return {nameOf(input.control), code(Query::Input), {}};
        return {{}, {}, "'" + ctl::cutForMessage(value) +
                            "' is no input a button selects: Computer 1, Computer 2 or Video"};
    }
    return {{}, {}, "no command topic " + ctl::cutForMessage(topic)};
}

std::vector<Message> discoveryConfigs(const Device& device)
{
    const QString root = QString::fromStdString(device.root()) + QLatin1Char('/');
    const QString node = QString::fromStdString(device.nodeId());
    QJsonObject about{{"identifiers", QJsonArray{node}},
                      {"name", QString::fromStdString(device.name)},
                      {"model", "VX37"},
                      {"sw_version", QString::fromStdString(device.version)}};
    if (!device.maker.empty())
        about.insert("manufacturer", QString::fromStdString(device.maker));

    std::vector<Message> configs;
    // One entity: its component, object id, name, state topic (relative) and keys of its own.
    const auto add = [&](const char* component, const QString& object, const QString& name,
                         const QString& state, QJsonObject config) {
        config.insert("name", name);
        config.insert("unique_id", node + QLatin1Char('_') + object);
        // The entity id Home Assistant gives it first (object_id is gone from discovery).
        config.insert("default_entity_id",
                      QString::fromLatin1(component) + '.' + (node + '_' + object).toLower());
        config.insert("state_topic", root + state);
        config.insert("availability",
                      QJsonArray{QJsonObject{{"topic", root + QLatin1String(kAvailability)}}});
        config.insert("device", about);
        configs.push_back({"homeassistant/" + std::string(component) + '/' + node.toStdString() +
                               '/' + object.toStdString() + "/config",
                           QJsonDocument(config).toJson(QJsonDocument::Compact).toStdString()});
    };
    const auto commanded = [&](const QString& set) {
        return QJsonObject{{"command_topic", root + set}, {"qos", 1}};
    };
    add("switch", "power", "Power", "power", commanded("power/set"));
    QJsonArray states;
    for (const char* state : kPowerStates)
        states.append(state);
    add("sensor", "state", "Operating state", "state",
        {{"device_class", "enum"}, {"options", states}});
    QJsonObject input = commanded(QString::fromLatin1(kInputSet));
    QJsonArray inputs;
    for (const InputButton& row : kInputs)
        inputs.append(QString::fromLatin1(row.name));
    input.insert("options", inputs);
    add("select", "input", "Input", "input", input);
    add("switch", "picture_mute", "Picture mute", "picture_mute", commanded("picture_mute/set"));
    add("switch", "sound_mute", "Sound mute", "sound_mute", commanded("sound_mute/set"));
    add("sensor", "lamp_hours", "Lamp hours", "lamp_hours",
        {{"unit_of_measurement", "h"}, {"device_class", "duration"},
         {"state_class", "total_increasing"}});
    for (int i = 1; i <= 3; ++i)
        add("sensor", QStringLiteral("temperature_%1").arg(i), QStringLiteral("Temperature %1").arg(i),
            QStringLiteral("temperature/%1").arg(i),
            {{"unit_of_measurement", "°C"}, {"device_class", "temperature"},
             {"state_class", "measurement"}});
    add("sensor", "pressure", "Air pressure", "pressure",
        {{"unit_of_measurement", "hPa"}, {"device_class", "atmospheric_pressure"},
         {"state_class", "measurement"}});
    for (const auto& [object, name] : {std::pair{"lamp", "Lamp problem"},
                                       {"temperature", "Temperature problem"},
                                       {"power", "Power failure"}})
        add("binary_sensor", QStringLiteral("%1_problem").arg(object), name,
            QStringLiteral("problem/") + object, {{"device_class", "problem"}});
    return configs;
}

} // namespace vx37::mqtt
