#pragma once

#include "sim/projector.h"
#include "sim/simulator.h"

#include <optional>
#include <string>
#include <vector>

namespace vx37::sim {

struct SimOptions
{
    std::string link; // symbolic link to the terminal end; empty: print the terminal's path
    int baud = 19200;
    ProjectorSettings projector;
    FaultSettings faults;
    bool transcript = true;
};

struct ParsedOptions
{
    std::optional<SimOptions> options; // nullopt on an error or for --help
    std::string error;                 // what was wrong, and what to do
    bool help = false;
};

// Parses the command line (without the program name). Options take their value as the
// next argument or after '='.
ParsedOptions parseOptions(const std::vector<std::string>& args);

// The --help text.
std::string usageText();

} // namespace vx37::sim
