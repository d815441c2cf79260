#pragma once

// vx37d's settings: the command line, and the configuration file of --config, which
// takes the same keys as "key = value" lines. The command line wins over the file.

#include <QHostAddress>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vx37::daemon {

// The shared line's port and the web panel's, unless others are given.
inline constexpr int kSharePort = 4353;
inline constexpr int kHttpPort = 8037;

struct Options
{
    std::string port = "COM1";
    int baud = 19200;
    std::string pjlink; // HOST:PORT or "off"; empty: by whether a password is set
    std::string share = "127.0.0.1:4353"; // HOST:PORT or "off"
    std::string http = "127.0.0.1:8037";  // HOST:PORT or "off"
    std::string tlsCert;                  // PEM files; both or neither: HTTPS
    std::string tlsKey;
    std::string mqtt; // mqtt[s]://[USER@]HOST[:PORT]; empty: off
    std::string mqttPasswordFile;
    std::string mqttCa; // PEM file of the broker's CA; empty: the system's
    std::string passwordFile; // empty: no password
    bool noPassword = false;  // listening beyond loopback without a password is meant
    std::optional<std::string> name;
    std::string manufacturer;
    std::string product = "VX37";
    std::optional<std::string> info;
    int pollSeconds = 5;
    int maxConnections = 64;
    int maxPerAddress = 8;
};

struct ParsedOptions
{
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Run;
    Options options;
    std::string error; // Error: one line per fault, each saying what to do
};

// Parses the arguments after the program name, and the configuration file they name.
ParsedOptions parseOptions(const std::vector<std::string>& args);

std::string usageText();

// What is wrong with a text PJLink would carry (more than `longest` bytes, a control
// character), or empty.
std::string textFault(const std::string& value, std::size_t longest);

struct ListenAddress
{
    QHostAddress address;
    quint16 port = 0;

    QString text() const;
};

// "127.0.0.1:4352", "[::1]:4352", "*:4352" (every interface), "localhost:4352"; port 0
// takes any free port.
std::optional<ListenAddress> parseListen(std::string_view text);

// A broker: mqtt://[USER@]HOST[:PORT] (1883 unless given), mqtts://… (8883).
struct BrokerAddress
{
    bool tls = false;
    std::string user; // empty: none
    std::string host;
    int port = 0;
};
std::optional<BrokerAddress> parseBroker(std::string_view text);

// What the front-ends run with, from the options: the password read from its file, and
// where each listens (none when it is off), the PJLink address checked against the
// password.
struct ServerPlan
{
    std::string password; // empty: none
    std::optional<ListenAddress> pjlink;
    std::optional<ListenAddress> share;
    std::optional<ListenAddress> http;
    std::optional<BrokerAddress> mqtt;
    std::string mqttPassword; // empty: none
    std::string error;
};
ServerPlan planServer(const Options& options);

} // namespace vx37::daemon
