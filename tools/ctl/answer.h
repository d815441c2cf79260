#pragma once

#include "ctl/command_line.h"
#include "link/frame_exchange.h"

#include <optional>
#include <string>

namespace vx37::ctl {

using Answer = FrameReply;

// Why an answer does not count as the command's answer: no reply, a reply cut off by the
// time-out, more than one answer on the line, or a reply of another form than the
// command's answer (an error reply to a command, say), or one that never ended.
std::optional<std::string> answerFault(const CtlCommand& command, const Answer& answer);

// The line printed for an answer: the status line as the panel shows it for a status
// query answered in its form, else what came as the RXD line shows it, outer blanks
// trimmed; "X X X X" for no reply.
std::string answerText(const CtlCommand& command, const Answer& answer);

// One JSON object on one line: name, code, reply (the raw text, null for none); status
// and value only for an answer of the command's form; error when answerFault says one.
std::string answerJson(const CtlCommand& command, const Answer& answer);

} // namespace vx37::ctl
