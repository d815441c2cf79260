#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vx37::ctl {

// One command as the program sends it.
struct CtlCommand
{
    std::string name; // as named on the command line: "power-on", "raw"
    std::string code; // what goes before the CR: "C00"
    int replyTimeoutMs = 0;
    int frames = 1;           // more than one for a held button with --repeat
    int repeatIntervalMs = 0; // between the frames of a held button
};

struct CtlOptions
{
    std::string port = "COM1"; // COM1, COM2, a device path or a network port
    int baud = 19200;
    bool json = false;
    std::vector<CtlCommand> commands;
};

struct ParsedCommandLine
{
    enum class Action { Run, List, Help, Version, UsageError };
    Action action = Action::Run;
    CtlOptions options;
    std::string error; // UsageError: what is wrong and what to do, one line per fault
};

// Parses the arguments after the program name. Every name and raw code is checked before
// anything is sent, so a bad one never leaves a partial sequence on the wire.
ParsedCommandLine parseCommandLine(const std::vector<std::string>& args);

// The command a name stands for, with its own reply time-out and repeat interval.
std::optional<CtlCommand> commandNamed(std::string_view name);

// What is wrong with a name no command has, with the closest names.
std::string unknownNameFault(const std::string& name);

// A text fit for a message: the first 40 characters and the count of all, when longer.
std::string cutForMessage(std::string_view text);

std::string listText();
std::string usageText();

} // namespace vx37::ctl
