#pragma once

// What vx37d publishes over MQTT and what it takes: the state topics a reading gives, the
// command topics with the vx37-ctl name each payload stands for, and the discovery configs
// that make the projector one device with its entities in a home-automation controller.
// Topics are relative to the instance's root, vx37/NAME.

#include <string>
#include <string_view>
#include <vector>

namespace vx37::mqtt {

// A name fit for a topic level and an identifier: letters, digits, '-' and '_' kept,
// every other character '_'; "projector" when nothing is left.
std::string topicSafe(std::string_view name);

struct Device
{
    std::string name;    // as told (options.name or the host name)
    std::string maker;   // empty: none
    std::string version; // vx37d's
    std::string root() const;   // vx37/NAME
    std::string nodeId() const; // vx37_NAME: the discovery node and the unique ids' prefix
};

struct Message
{
    std::string topic; // full
    std::string payload;
};

inline constexpr std::string_view kAvailability = "availability";
inline constexpr std::string_view kCommand = "command"; // the generic one: any vx37-ctl name
inline constexpr std::string_view kAnswer = "answer";
inline constexpr std::string_view kOnline = "online";
inline constexpr std::string_view kOffline = "offline";

// The state topics (relative) and their values that a status query's reply (CR included)
// gives; none for a reply that tells nothing. "None" resets a switch to unknown: the
// projector does not tell its mutes in stand-by.
std::vector<Message> statesOf(std::string_view code, std::string_view reply);

// The status queries whose readings give states.
std::vector<std::string> stateQueries();

// What a message on a command topic asks.
struct CommandRequest
{
    std::string name;     // the vx37-ctl command to run; empty: refused
    std::string followUp; // the query that reads the state the command changes, if any
    std::string error;    // why it was refused
};
CommandRequest commandFor(std::string_view topic, std::string_view payload);

// The command topics (relative), each taken at QoS 1.
std::vector<std::string> commandTopics();

// The retained discovery configs, topics in full.
std::vector<Message> discoveryConfigs(const Device& device);

} // namespace vx37::mqtt
