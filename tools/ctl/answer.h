#pragma once

#include "ctl/command_line.h"

#include <optional>
#include <string>

namespace vx37::ctl {

// What came back for one frame: the bytes up to and including the first CR, or what had
// come when the reply time-out ended the wait.
struct Answer
{
    std::string reply;
    bool ended = false; // its CR came in time
};

// Why an answer does not count as one: no reply, or a reply cut off by the time-out.
std::optional<std::string> answerFault(const CtlCommand& command, const Answer& answer);

// The line printed for an answer: the status line as the panel shows it for a status
// query, else the RXD line, outer blanks trimmed; "X X X X" for no reply.
std::string answerText(const CtlCommand& command, const Answer& answer);

// One JSON object on one line: name, code, reply (the raw text, null for none), status
// when decoded, value when the reply carries numbers, error when answerFault says one.
std::string answerJson(const CtlCommand& command, const Answer& answer);

} // namespace vx37::ctl
