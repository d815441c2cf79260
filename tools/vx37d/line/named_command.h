#pragma once

#include "line/projector_line.h"

#include <functional>
#include <string>
#include <string_view>

namespace vx37 {

// A command named as vx37-ctl names it, run through the line owner, for the front-ends
// that take names (the web API, MQTT's command topic).
struct NamedAnswer
{
    enum class Outcome {
        Answered,    // the projector answered in the command's form
        Unexpected,  // something else came
        NoAnswer,    // nothing came in the command's time
        LineDown,    // the line is down: nothing was sent
        UnknownName, // no command has that name: nothing was sent
    };
    Outcome outcome;
    // The object `vx37-ctl --json NAME` prints; for an unknown name, {"name", "error"} with
    // the closest names in the error.
    std::string json;
};

void runNamedCommand(ProjectorLine& line, std::string_view name,
                     std::function<void(const NamedAnswer&)> done);

} // namespace vx37
