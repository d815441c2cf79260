#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace vx37 {

// The form of each answer the projector gives, beside the decoders: a program that acts on
// an answer (vx37-ctl, the PJLink bridge) takes it only when it has the form of the answer
// to the frame it sent. The panel's status line does not use this: it shows what came.
enum class ReplyForm {
    Acknowledge,  // ACK CR: every command that is not a status query
    TableKey,     // a key of the query's table, then CR (CR0, CR1, CR4, CR7, CRA)
    LampHours,    // decimal digits, then CR (CR3)
    Temperatures, // three temperature fields, then CR (CR6)
    Number,       // a decimal number, then CR (CR PRESSURE)
    Text,         // anything up to its CR (CR9)
};

// The form of the answer to the frame of a code.
ReplyForm replyFormOf(std::string_view code);

// Whether a reply, up to and including its CR, has the form of the answer to code.
bool isAnswerTo(std::string_view code, std::string_view reply);

// The reply without its closing CR; what the form checks and the values read.
std::string_view replyBody(std::string_view reply);

// The values of answers that carry numbers, from a reply of the right form, else nullopt.
std::optional<long> lampHours(std::string_view reply);                     // CR3
std::optional<std::array<double, 3>> temperatures(std::string_view reply); // CR6: S1, S2, S3

} // namespace vx37
