#pragma once

#include <string>
#include <string_view>

namespace vx37 {

// The monitor text of a string, as the TXD and RXD lines show it: one leading blank,
// then a token per character: "ACK " for 6, "&" for 20, "CR " for 13, "LF " for 10,
// the character and a blank for codes 32..122, and "? " for every other code
// (bytes of 128 and above included).
std::string renderMonitorText(std::string_view text);

// The length renderMonitorText(text) will have, without building it.
std::size_t monitorTextLength(std::string_view text);

// Received bytes as the monitor lines show them, outer blanks trimmed, cut short past a
// line's worth with the count of them all: fit for a message or a log.
std::string monitorTextForMessage(std::string_view bytes);

} // namespace vx37
