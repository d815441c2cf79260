#pragma once

#include <string>
#include <string_view>

namespace vx37::sim {

// What a receiver set to readBaud makes of bytes sent back to back at sentBaud, 8 data
// bits, no parity, one stop bit: the line is sampled in the middle of each of the
// receiver's bit times, from every falling edge it sees while idle. A byte whose stop bit
// reads low (a framing error) is kept, as a terminal without parity checking keeps it.
// At equal speeds the bytes come through unchanged.
std::string resampleUart(std::string_view bytes, int sentBaud, int readBaud);

} // namespace vx37::sim
