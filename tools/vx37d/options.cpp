#include "options.h"

#include "pjlink/pjlink_protocol.h"
#include "link/port_resolver.h"

#include <QFile>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <functional>

namespace vx37::daemon {

namespace {

constexpr std::size_t kLongestName = 64;
constexpr std::size_t kLongestInfo = 32;

std::optional<int> wholeNumber(std::string_view text, int lowest, int highest)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < lowest ||
        value > highest)
        return std::nullopt;
    return value;
}


using Setter = std::function<std::string(Options&, const std::string&)>;
struct Key
{
    std::string_view name;
    Setter set;
    bool flag = false; // takes no value on the command line
};

template <typename Field>
std::string setText(Field& field, const std::string& value, std::size_t longest)
{
    std::string fault = textFault(value, longest);
    if (fault.empty())
        field = value;
    return fault;
}

std::string setNumber(int& field, const std::string& value, int lowest, int highest,
                      std::string_view what)
{
    const auto number = wholeNumber(value, lowest, highest);
    if (!number)
        return std::string(what) + ", from " + std::to_string(lowest) + " to " +
               std::to_string(highest);
    field = *number;
    return {};
}

// Where a front-end listens: HOST:PORT, or off.
std::string setListen(std::string& field, const std::string& value, int port)
{
    if (value != "off" && !parseListen(value))
        return "takes HOST:PORT: 127.0.0.1:" + std::to_string(port) + ", [::1]:" +
               std::to_string(port) + ", or *:" + std::to_string(port) +
               " for every interface; or off";
    field = value;
    return {};
}

std::string setPath(std::string& field, const std::string& value)
{
    if (value.empty())
        return "needs the path of a file";
    field = value;
    return {};
}

const std::vector<Key>& keys()
{
    static const std::vector<Key> kKeys{
        {"port",
         [](Options& o, const std::string& v) {
             std::string fault =
                 portNameFault(QString::fromLocal8Bit(v)).toLocal8Bit().toStdString();
             if (fault.empty())
                 o.port = v;
             return fault;
         }},
        {"baud",
         [](Options& o, const std::string& v) -> std::string {
             const std::optional<int> speed = projectorSpeed(v);
             if (!speed)
                 return speedFaultText().toStdString();
             o.baud = *speed;
             return {};
         }},
        {"pjlink",
         [](Options& o, const std::string& v) { return setListen(o.pjlink, v, pjlink::kPort); }},
        {"share", [](Options& o, const std::string& v) { return setListen(o.share, v, kSharePort); }},
        {"http", [](Options& o, const std::string& v) { return setListen(o.http, v, kHttpPort); }},
        {"tls-cert", [](Options& o, const std::string& v) { return setPath(o.tlsCert, v); }},
        {"tls-key", [](Options& o, const std::string& v) { return setPath(o.tlsKey, v); }},
        {"mqtt",
         [](Options& o, const std::string& v) -> std::string {
             if (!parseBroker(v))
                 return "takes mqtt://[USER@]HOST[:PORT] or mqtts://[USER@]HOST[:PORT]";
             o.mqtt = v;
             return {};
         }},
        {"mqtt-password-file",
         [](Options& o, const std::string& v) { return setPath(o.mqttPasswordFile, v); }},
        {"mqtt-ca", [](Options& o, const std::string& v) { return setPath(o.mqttCa, v); }},
        {"password-file", [](Options& o, const std::string& v) { return setPath(o.passwordFile, v); }},
        {"no-password",
         [](Options& o, const std::string& v) -> std::string {
             if (v == "yes" || v == "true" || v == "1")
                 o.noPassword = true;
             else if (v == "no" || v == "false" || v == "0")
                 o.noPassword = false;
             else
                 return "takes yes or no";
             return {};
         },
         true},
        {"name", [](Options& o, const std::string& v) { return setText(o.name, v, kLongestName); }},
        {"manufacturer",
         [](Options& o, const std::string& v) { return setText(o.manufacturer, v, kLongestInfo); }},
        {"product",
         [](Options& o, const std::string& v) { return setText(o.product, v, kLongestInfo); }},
        {"info", [](Options& o, const std::string& v) { return setText(o.info, v, kLongestInfo); }},
        {"poll",
         [](Options& o, const std::string& v) {
             return setNumber(o.pollSeconds, v, 1, 3600, "takes seconds");
         }},
        {"max-connections",
         [](Options& o, const std::string& v) {
             return setNumber(o.maxConnections, v, 1, 1000, "takes a count");
         }},
        {"max-per-address",
         [](Options& o, const std::string& v) {
             return setNumber(o.maxPerAddress, v, 1, 1000, "takes a count");
         }},
    };
    return kKeys;
}

const Key* keyNamed(std::string_view name)
{
    const auto found = std::find_if(keys().begin(), keys().end(),
                                    [name](const Key& key) { return key.name == name; });
    return found == keys().end() ? nullptr : &*found;
}

std::string trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return {};
    return std::string(text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1));
}

struct Setting
{
    const Key* key;
    std::string value;
    std::string where; // for a fault: "--poll", or "FILE:3: poll"
};

// The settings of a configuration file: "key = value" lines, blank lines and # comments.
void readConfig(const std::string& path, std::vector<Setting>& settings,
                std::vector<std::string>& faults)
{
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::ReadOnly)) {
        faults.push_back("cannot read the configuration " + path + ": " +
                         file.errorString().toStdString());
        return;
    }
    int number = 0;
    while (!file.atEnd()) {
        const std::string line = trimmed(file.readLine().toStdString());
        const std::string where = path + ":" + std::to_string(++number) + ":";
        if (line.empty() || line.front() == '#')
            continue;
        const auto equals = line.find('=');
        const Key* key =
            equals == std::string::npos ? nullptr : keyNamed(trimmed(line.substr(0, equals)));
        if (!key) {
            faults.push_back(where + " not a \"key = value\" line with a key vx37d knows "
                                     "(man vx37d lists them)");
            continue;
        }
        settings.push_back(
            {key, trimmed(line.substr(equals + 1)), where + ' ' + std::string(key->name)});
    }
}

} // namespace

// A text PJLink can carry: no control characters, at most `longest` bytes.
std::string textFault(const std::string& value, std::size_t longest)
{
    if (value.size() > longest)
        return "is " + std::to_string(value.size()) + " bytes; PJLink takes " +
               std::to_string(longest) + " at most";
    if (std::any_of(value.begin(), value.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }))
        return "holds a control character";
    return {};
}

ParsedOptions parseOptions(const std::vector<std::string>& args)
{
    using Action = ParsedOptions::Action;
    ParsedOptions parsed;
    std::vector<Setting> given;
    std::vector<std::string> faults;
    std::string config;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (arg == "--help" || arg == "-h" || arg == "--version") {
            parsed.action = arg == "--version" ? Action::Version : Action::Help;
            return parsed;
        }
        std::optional<std::string> value;
        if (const auto equals = arg.find('='); equals != std::string::npos) {
            value = arg.substr(equals + 1);
            arg.resize(equals);
        }
        const std::string name = arg.starts_with("--") ? arg.substr(2) : std::string();
        const Key* key = keyNamed(name);
        if (!key && name != "config") {
            faults.push_back(arg.starts_with("-")
                                 ? "unknown option " + arg + " (vx37d --help lists them)"
                                 : "unexpected argument " + arg);
            continue;
        }
        if (key && key->flag && !value)
            value = "yes";
        if (!value && i + 1 >= args.size()) {
            faults.push_back(arg + " needs a value");
            continue;
        }
        if (!value)
            value = args[++i];
        if (key)
            given.push_back({key, *value, arg});
        else
            config = *value;
    }
    // The file first, so that the command line wins.
    std::vector<Setting> settings;
    if (!config.empty())
        readConfig(config, settings, faults);
    settings.insert(settings.end(), given.begin(), given.end());
    for (const Setting& setting : settings) {
        if (std::string fault = setting.key->set(parsed.options, setting.value); !fault.empty())
            faults.push_back(setting.where + " " + fault);
    }
    if (!faults.empty()) {
        parsed.action = Action::Error;
        for (const std::string& fault : faults)
            parsed.error += "vx37d: " + fault + "\n";
    }
    return parsed;
}

QString ListenAddress::text() const
{
    if (address == QHostAddress(QHostAddress::Any))
        return QStringLiteral("*:%1").arg(port);
    if (address.protocol() == QAbstractSocket::IPv6Protocol)
        return QStringLiteral("[%1]:%2").arg(address.toString()).arg(port);
    return QStringLiteral("%1:%2").arg(address.toString()).arg(port);
}

std::optional<ListenAddress> parseListen(std::string_view text)
{
    const auto colon = text.rfind(':');
    if (colon == std::string_view::npos)
        return std::nullopt;
    const auto port = wholeNumber(text.substr(colon + 1), 0, 65535);
    std::string host(text.substr(0, colon));
    if (!port || host.empty())
        return std::nullopt;
    ListenAddress listen;
    listen.port = static_cast<quint16>(*port);
    if (host == "*") {
        listen.address = QHostAddress::Any;
        return listen;
    }
    if (host == "localhost")
        host = "127.0.0.1";
    if (host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    else if (host.find(':') != std::string::npos)
        return std::nullopt; // an IPv6 address goes in brackets
    if (!listen.address.setAddress(QString::fromStdString(host)))
        return std::nullopt;
    return listen;
}

std::optional<BrokerAddress> parseBroker(std::string_view text)
{
    BrokerAddress broker;
    if (text.starts_with("mqtts://")) {
        broker.tls = true;
        text.remove_prefix(8);
    } else if (text.starts_with("mqtt://")) {
        text.remove_prefix(7);
    } else {
        return std::nullopt;
    }
    if (text.ends_with('/'))
        text.remove_suffix(1);
    if (const auto at = text.rfind('@'); at != std::string_view::npos) {
        broker.user = std::string(text.substr(0, at));
        text.remove_prefix(at + 1);
        if (broker.user.empty())
            return std::nullopt;
    }
    broker.port = broker.tls ? 8883 : 1883;
    std::string_view host = text;
    if (const auto colon = text.rfind(':');
        colon != std::string_view::npos && text.find(']', colon) == std::string_view::npos) {
        const auto port = wholeNumber(text.substr(colon + 1), 1, 65535);
        if (!port)
            return std::nullopt;
        broker.port = *port;
        host = text.substr(0, colon);
    }
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    if (host.empty() || host.find_first_of("/@[] \t") != std::string_view::npos)
        return std::nullopt;
    broker.host = std::string(host);
    return broker;
}

std::string usageText()
{
    return R"(Usage: vx37d [options]

The daemon that owns one VX37 projector's serial line and serves it to every client: one
queue, one frame on the line at a time, each reply to the client that asked. Room-control
systems speak PJLink class 1 to it; the panel and vx37-ctl go through its shared line
(VX37_COM1=socket://127.0.0.1:4353 vx37-panel). Run one per projector, each on its own
TCP ports.

Options (each also a "key = value" line of the --config file, without the dashes)
  --port PORT            COM1 (default) or COM2, chosen as the panel does (VX37_COM1,
                         VX37_COM2), a device path such as /dev/ttyUSB0, or a port of
                         a serial device server: socket://HOST:PORT (raw TCP) or
                         rfc2217://HOST:PORT (Telnet, --baud sets the far port)
  --baud 19200|9600      line speed (default 19200)
  --pjlink HOST:PORT     where PJLink clients connect: *:4352 (every interface) when a
                         password is set, else 127.0.0.1:4352; [::1]:4352 for IPv6;
                         off for none
  --share HOST:PORT      the shared line, in the projector's own protocol, for the panel
                         and vx37-ctl (socket://HOST:PORT): 127.0.0.1:4353 unless given;
                         another address must be named, as the protocol has no password;
                         off for none
  --http HOST:PORT       the panel in a browser, and its JSON API: 127.0.0.1:8037
                         unless given; off for none
  --tls-cert FILE, --tls-key FILE
                         serve HTTPS with this certificate and key (PEM)
  --mqtt URL             publish to an MQTT broker, mqtt://[USER@]HOST[:PORT] or
                         mqtts://[USER@]HOST[:PORT], with Home Assistant discovery
                         (default: off)
  --mqtt-password-file FILE
                         the broker's password, alone on the first line; the file must
                         not be readable by others
  --mqtt-ca FILE         the CA that signed the broker's certificate (PEM), for mqtts
  --password-file FILE   the password of PJLink and the web panel, alone on the file's
                         first line (up to 32 bytes); the file must not be readable by
                         others; an empty file sets no password
  --no-password          allow PJLink and the web panel beyond loopback without a
                         password
  --name TEXT            what NAME ? answers (default: the host name)
  --manufacturer TEXT    what INF1 ? answers (default: empty)
  --product TEXT         what INF2 ? answers (default: VX37)
  --info TEXT            what INFO ? answers (default: vx37d and its version)
  --poll SECONDS         how often power, input and mute are read (default 5)
  --max-connections N    clients at once of each front-end (default 64); one more is
                         reset at once
  --max-per-address N    clients at once of each front-end from one address (default 8;
                         the web panel takes four connections for each, as a browser
                         opens several for one page)
  --config FILE          read these settings from FILE; the command line wins
  --help, --version

The log (standard error) records connections, authentication failures, commands and
line faults; never the password or a digest. SIGINT, SIGTERM and SIGHUP end it.
Exit status: 0 ended by a signal; 1 could not listen; 2 a usage or configuration error.
)";
}

} // namespace vx37::daemon
