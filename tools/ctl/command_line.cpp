#include "ctl/command_line.h"

#include "commands/button_table.h"
#include "ctl/command_names.h"
#include "link/port_messages.h"
#include "link/port_resolver.h"

#include <charconv>
#include <cstdio>
#include <functional>
#include <map>

namespace vx37::ctl {

namespace {

constexpr int kMaxTimeoutMs = 600'000;
constexpr int kMaxRepeat = 100'000;

CtlCommand fromButton(std::string_view name, const ButtonRow& row)
{
    CtlCommand command{std::string(name), std::string(row.code), startReplyTimeout(row)};
    // A held button repeats at its own period; an arrow at the one it finds at start.
    if (row.kind == ButtonKind::H)
        command.repeatIntervalMs = row.hold.arrow ? kDesignRepeatInterval : row.hold.repeatInterval;
    return command;
}

std::optional<int> wholeNumber(const std::string& text, int low, int high)
{
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [rest, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || rest != end || value < low || value > high)
        return std::nullopt;
    return value;
}

// What is wrong with a raw code, or empty when it can be sent.
std::string rawCodeFault(const std::string& code)
{
    if (code.empty())
        return "raw needs a code after it (for example: raw CR0)";
    for (std::size_t i = 0; i < code.size(); ++i) {
        const auto c = static_cast<unsigned char>(code[i]);
        if (c == '\r' || c == '\n')
            return "raw: the code holds a line break; give each command its own raw "
                   "(the CR that ends a frame is added)";
        if (c < 0x20 || c > 0x7E) {
            char where[96];
            std::snprintf(where, sizeof where,
                          "raw: character %zu of the code (byte 0x%02X) is not printable ASCII",
                          i + 1, c);
            return where;
        }
    }
    return {};
}

} // namespace

std::optional<CtlCommand> commandNamed(std::string_view name)
{
    for (const ButtonName& button : buttonNames()) {
        if (button.name == name)
            return fromButton(name, *findButton(button.control));
    }
    for (const TypedQueryName& query : typedQueryNames()) {
        if (query.name == name)
            return CtlCommand{std::string(name), std::string(query.code), kTypedReplyTimeout};
    }
    return std::nullopt;
}

std::string unknownNameFault(const std::string& name)
{
    if (name.empty())
        return "an empty argument names no command (vx37-ctl --list lists the commands)";
    std::string fault = "unknown command '" + cutForMessage(name) + "'";
    const auto closest = closestNames(name);
    for (std::size_t i = 0; i < closest.size(); ++i)
        fault += (i == 0                    ? "; did you mean "
                  : i + 1 == closest.size() ? " or "
                                            : ", ") +
                 closest[i];
    return fault + (closest.empty() ? "" : "?") + " (vx37-ctl --list lists the commands)";
}

std::string cutForMessage(std::string_view text)
{
    constexpr std::size_t kShown = 40;
    if (text.size() <= kShown)
        return std::string(text);
    return std::string(text.substr(0, kShown)) + "... (" + std::to_string(text.size()) +
           " characters in all)";
}

ParsedCommandLine parseCommandLine(const std::vector<std::string>& args)
{
    using Action = ParsedCommandLine::Action;
    ParsedCommandLine parsed;
    CtlOptions& options = parsed.options;
    std::optional<int> timeout;
    std::optional<int> repeat;
    std::vector<std::string> faults;

    using Setter = std::function<std::string(const std::string&)>;
    const std::map<std::string, Setter> valued{
        {"--port",
         [&](const std::string& value) -> std::string {
             // The name is checked before anything is opened.
             if (const QString fault = portNameFault(QString::fromLocal8Bit(value));
                 !fault.isEmpty())
                 return "--port " + fault.toLocal8Bit().toStdString();
             options.port = value;
             return {};
         }},
        {"--baud",
         [&](const std::string& value) -> std::string {
             const std::optional<int> speed = projectorSpeed(value);
             if (!speed)
                 return "--baud " + speedFaultText().toStdString();
             options.baud = *speed;
             return {};
         }},
        {"--timeout",
         [&](const std::string& value) -> std::string {
             timeout = wholeNumber(value, 1, kMaxTimeoutMs);
             return timeout ? "" : "--timeout takes milliseconds, from 1 to 600000";
         }},
        {"--repeat",
         [&](const std::string& value) -> std::string {
             repeat = wholeNumber(value, 1, kMaxRepeat);
             return repeat ? "" : "--repeat takes a count of frames, from 1 to 100000";
         }},
    };

    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (!optionsEnded && arg.starts_with("-")) {
            if (arg == "--") {
                optionsEnded = true;
                continue;
            }
            if (arg == "--help" || arg == "-h") {
                parsed.action = Action::Help;
                return parsed;
            }
            if (arg == "--version") {
                parsed.action = Action::Version;
                return parsed;
            }
            if (arg == "--list") {
                parsed.action = Action::List;
                continue;
            }
            if (arg == "--json") {
                options.json = true;
                continue;
            }
            std::optional<std::string> value;
            if (const auto equals = arg.find('='); equals != std::string::npos) {
                value = arg.substr(equals + 1);
                arg.resize(equals);
            }
            const auto setter = valued.find(arg);
            if (setter == valued.end()) {
                faults.push_back("unknown option " + arg + " (vx37-ctl --help lists the options)");
            } else if (!value && i + 1 >= args.size()) {
                faults.push_back(arg + " needs a value");
            } else if (auto fault = setter->second(value ? *value : args[++i]); !fault.empty()) {
                faults.push_back(std::move(fault));
            }
            continue;
        }
        if (arg == "raw") {
            const std::string code = i + 1 < args.size() ? args[++i] : std::string();
            if (auto fault = rawCodeFault(code); !fault.empty())
                faults.push_back(std::move(fault));
            else
                options.commands.push_back({"raw", code, kTypedReplyTimeout});
            continue;
        }
        if (auto command = commandNamed(arg))
            options.commands.push_back(std::move(*command));
        else
            faults.push_back(unknownNameFault(arg));
    }

    if (parsed.action == Action::List && faults.empty())
        return parsed;
    if (options.commands.empty() && faults.empty())
        faults.emplace_back("no command given (vx37-ctl --list lists the commands)");
    if (repeat) {
        bool anyHeld = false;
        for (CtlCommand& command : options.commands) {
            if (command.repeatIntervalMs > 0) {
                command.frames = *repeat;
                anyHeld = true;
            }
        }
        if (!anyHeld && faults.empty())
            faults.emplace_back("--repeat repeats held buttons (volume-up, up, zoom-in, ...), "
                                "and none is given");
    }
    if (timeout) {
        for (CtlCommand& command : options.commands)
            command.replyTimeoutMs = *timeout;
    }
    if (!faults.empty()) {
        parsed.action = Action::UsageError;
        for (const std::string& fault : faults)
            parsed.error += "vx37-ctl: " + fault + "\n";
    }
    return parsed;
}

std::string listText()
{
    std::string text;
    const auto line = [&text](std::string_view name, std::string_view code, std::string_view does) {
        char row[256];
        std::snprintf(row, sizeof row, "%-22.*s%-18.*s%.*s\n", static_cast<int>(name.size()),
                      name.data(), static_cast<int>(code.size()), code.data(),
                      static_cast<int>(does.size()), does.data());
        text += row;
    };
    for (const ButtonName& button : buttonNames()) {
        const CtlCommand command = *commandNamed(button.name);
        std::string does(button.does);
        if (command.repeatIntervalMs > 0)
            does +=
                " (held: --repeat N, every " + std::to_string(command.repeatIntervalMs) + " ms)";
        line(button.name, command.code, does);
    }
    for (const TypedQueryName& query : typedQueryNames())
        line(query.name, query.code, query.does);
    line("raw CODE", "CODE", "send any code, as typed into the panel's command entry");
    return text;
}

std::string usageText()
{
    return R"(Usage: vx37-ctl [options] COMMAND [COMMAND...]

Sends the VX37 panel's commands over the serial line, in order, each after the answer to
the one before, and prints each answer: a status query decoded as the panel's status
line shows it, any other reply as its monitor line shows it ("ACK CR"), "X X X X" when
none came in time.

An answer counts only when it has the form of the command's answer (ACK CR for a
command, each status query's own format) and nothing else follows it within 30 ms.
After a command without its answer, the next waits until the line has been quiet for
that command's time-out, so a late reply is never taken as the next one's answer.

Commands
  power-on, input-pc1, volume-up, status, lamp-time, ...   (vx37-ctl --list)
  raw CODE             send CODE and a CR as typed (a status query code is decoded)

Options
  --port PORT          COM1 (default) or COM2, chosen as the panel does (VX37_COM1,
                       VX37_COM2), a device path such as /dev/ttyUSB0, or a port of a
                       serial device server: socket://HOST:PORT (raw TCP, the server's
                       own line settings) or rfc2217://HOST:PORT (Telnet, --baud sets
                       the far port); an IPv6 address in brackets: [::1]:4001
  --baud 19200|9600    line speed (default 19200)
  --timeout MS         reply time-out for every command, 1 to 600000 (default: the
                       panel's own for each command, 25 ms to 5000 ms)
  --repeat N           send each held button N times (1 to 100000) at its repeat
                       interval; the other commands of the run are sent once; at
                       least one held button must be given
  --json               one JSON object per answer instead of text
  --list               list the commands: name, code, what it does
  --help, --version

Exit status: 0 every command got its answer; 1 some command got no answer in time, or
an answer of the wrong form, or the output could not be written; 2 a usage error; 3 the
port could not be opened or went away (a network port: the connection failed, was
turned away, took too long or dropped; standard error says why; the commands not yet
answered print nothing).
)";
}

} // namespace vx37::ctl
