#include "sim/sim_options.h"

#include <charconv>
#include <functional>
#include <map>

namespace vx37::sim {

namespace {

constexpr int kMaxMs = 24 * 3600 * 1000;

std::optional<long long> toInteger(const std::string& text)
{
    long long value = 0;
    const auto* end = text.data() + text.size();
    const auto [rest, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || rest != end || text.empty())
        return std::nullopt;
    return value;
}

std::optional<double> toReal(const std::string& text)
{
    try {
        std::size_t used = 0;
        const double value = std::stod(text, &used);
        if (used != text.size())
            return std::nullopt;
        return value;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

} // namespace

std::string usageText()
{
    return R"(Usage: vx37-sim [options]

Simulates a VX37 projector on a pseudo-terminal: the panel opens the terminal end as its
serial port (VX37_COM1=PATH vx37-panel). The path is printed on standard output; the
transcript of the line goes to standard error. SIGINT or SIGTERM ends it and removes the
link.

Line
  --link PATH          make the terminal end available as the symbolic link PATH
                       (replaces a stale symbolic link, one whose terminal is gone or no
                       longer served by a simulator; never anything else)
  --baud 19200|9600    the projector's line speed (default 19200); a panel set to the
                       other speed reads garbled bytes
  --quiet              no transcript

Projector
  --power standby|on   state at start (default standby)
  --count-down MS      count down from power on to on (default 3000)
  --cooling MS         cooling down from power off to stand-by (default 5000)
  --input pc1|pc2|video  selected input at start (default pc1)
  --no-signal          no picture source at the input ("CRA" replies 80)
  --lamp-hours N       lamp hours at start (default 1234)
  --hour-ms MS         lamp-lit time that counts as one lamp hour (default 60000)
  --lamp-mode dual|no1|no2  two lamps, or lamp 1 or lamp 2 alone (default dual)
  --reversal none|top-bottom|left-right|both  picture reversal (default none)
  --ambient C          temperature with the lamps cold, 0 to 60 (default 25)
  --pressure HPA       air pressure, 150 to 1200 (default 1013)

Faults
  --silent             never reply
  --late MS            reply MS milliseconds late
  --pieces N           send replies in pieces of N bytes
  --piece-gap MS       gap between pieces (default 100)
  --corrupt RATE       corrupt each reply byte with probability RATE (0 to 1)
  --seed N             seed of the corruption and of the flood (default 1)
  --chatter MS         send the operating state unprompted every MS milliseconds
  --vanish-after N     close the line after N commands, as a pulled USB adapter
  --come-back MS       and open it again MS milliseconds later, at the same link
  --cycles K           go and come back K times, each after --vanish-after more
                       commands (default 1; 0: without end)
  --flood BYTES        send BYTES random bytes as fast as the line takes them, once the
                       reply to the --flood-after N-th command is out (default 1)
  --flood-after N

  --help               this text
)";
}

ParsedOptions parseOptions(const std::vector<std::string>& args)
{
    SimOptions options;
    ParsedOptions result;
    const auto fail = [&result](std::string error) {
        result.error = std::move(error) + " (vx37-sim --help lists the options)";
        return result;
    };

    // An integer option within [low, high].
    const auto integer = [](int& target, long long low, long long high) {
        return [&target, low, high](const std::string& value) -> std::string {
            const auto number = toInteger(value);
            if (!number || *number < low || *number > high)
                return "a whole number from " + std::to_string(low) + " to " + std::to_string(high);
            target = static_cast<int>(*number);
            return {};
        };
    };
    const auto choice = [](auto& target,
                           std::map<std::string, std::decay_t<decltype(target)>> names) {
        return [&target, names](const std::string& value) -> std::string {
            const auto found = names.find(value);
            if (found != names.end()) {
                target = found->second;
                return {};
            }
            std::string list;
            for (const auto& [name, unused] : names)
                list += (list.empty() ? "" : ", ") + name;
            return "one of " + list;
        };
    };

    int reversal = 0;
    int seed = 1;
    using Parser = std::function<std::string(const std::string&)>;
    std::map<std::string, Parser> valued{
        {"--link",
         [&options](const std::string& value) -> std::string {
             if (value.empty())
                 return "a path";
             options.link = value;
             return {};
         }},
        {"--baud", choice(options.baud, {{"19200", 19200}, {"9600", 9600}})},
        {"--power",
         choice(options.projector.power, {{"standby", Power::StandBy}, {"on", Power::On}})},
        {"--count-down", integer(options.projector.countDownMs, 0, kMaxMs)},
        {"--cooling", integer(options.projector.coolingMs, 0, kMaxMs)},
        {"--input", choice(options.projector.input,
                           {{"pc1", Input::Pc1}, {"pc2", Input::Pc2}, {"video", Input::Video}})},
        {"--lamp-hours", integer(options.projector.lampHours, 0, 99999)},
        {"--hour-ms", integer(options.projector.hourMs, 1, kMaxMs)},
        {"--lamp-mode",
         choice(options.projector.lampMode,
                {{"dual", LampMode::Dual}, {"no1", LampMode::No1}, {"no2", LampMode::No2}})},
        {"--reversal",
         choice(reversal, {{"none", 0}, {"top-bottom", 1}, {"left-right", 2}, {"both", 3}})},
        {"--ambient",
         [&options](const std::string& value) -> std::string {
             const auto number = toReal(value);
             if (!number || *number < 0 || *number > 60)
                 return "a temperature from 0 to 60";
             options.projector.ambient = *number;
             return {};
         }},
        {"--pressure", integer(options.projector.pressureHpa, 150, 1200)},
        {"--late", integer(options.faults.lateMs, 0, kMaxMs)},
        {"--pieces", integer(options.faults.pieceBytes, 1, 1 << 16)},
        {"--piece-gap", integer(options.faults.pieceGapMs, 0, kMaxMs)},
        {"--corrupt",
         [&options](const std::string& value) -> std::string {
             const auto number = toReal(value);
             if (!number || !(*number >= 0 && *number <= 1))
                 return "a rate from 0 to 1";
             options.faults.corruptRate = *number;
             return {};
         }},
        {"--seed", integer(seed, 0, 2147483647)},
        {"--chatter", integer(options.faults.chatterMs, 1, kMaxMs)},
        {"--vanish-after", integer(options.faults.vanishAfter, 1, 1 << 30)},
        {"--come-back", integer(options.faults.comeBackMs, 0, kMaxMs)},
        {"--cycles", integer(options.faults.vanishCycles, 0, 1 << 30)},
        {"--flood",
         [&options](const std::string& value) -> std::string {
             const auto number = toInteger(value);
             constexpr long long kMaxFlood = 1LL << 40;
             if (!number || *number < 1 || *number > kMaxFlood)
                 return "a byte count from 1 to " + std::to_string(kMaxFlood);
             options.faults.floodBytes = *number;
             return {};
         }},
        {"--flood-after", integer(options.faults.floodAfter, 1, 1 << 30)},
    };
    const std::map<std::string, std::function<void()>> flags{
        {"--quiet", [&options] { options.transcript = false; }},
        {"--silent", [&options] { options.faults.silent = true; }},
        {"--no-signal", [&options] { options.projector.signal = false; }},
    };

    bool explicitFloodAfter = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> value;
        if (const auto equals = name.find('='); name.starts_with("--") && equals != name.npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
        }
        if (name == "--help" || name == "-h") {
            result.help = true;
            return result;
        }
        if (const auto flag = flags.find(name); flag != flags.end()) {
            if (value)
                return fail(name + " takes no value");
            flag->second();
            continue;
        }
        const auto parser = valued.find(name);
        if (parser == valued.end())
            return fail("unknown option " + name);
        if (!value) {
            if (i + 1 >= args.size())
                return fail(name + " needs a value");
            value = args[++i];
        }
        if (const std::string expected = parser->second(*value); !expected.empty())
            return fail(name + " " + *value + ": expected " + expected);
        explicitFloodAfter |= name == "--flood-after";
    }

    if (options.faults.comeBackMs >= 0 && options.faults.vanishAfter == 0)
        return fail("--come-back needs --vanish-after");
    if (options.faults.vanishCycles != 1 && options.faults.comeBackMs < 0)
        return fail("--cycles needs --come-back");
    if (explicitFloodAfter && options.faults.floodBytes == 0)
        return fail("--flood-after needs --flood");
    options.projector.reverseTopBottom = (reversal & 1) != 0;
    options.projector.reverseLeftRight = (reversal & 2) != 0;
    options.faults.seed = static_cast<std::uint32_t>(seed);
    result.options = options;
    return result;
}

} // namespace vx37::sim
