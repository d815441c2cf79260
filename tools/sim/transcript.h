#pragma once

#include "sim/simulator.h"

#include <string>

namespace vx37::sim {

// One transcript line for a person watching: seconds since the start, the direction
// (PC>VX37 for what the panel sent, VX37>PC for what the projector sent, "--" for what
// happened by itself), the bytes in the monitor lines' readable form, and the state
// change they caused.
//
//     1.204  PC>VX37   C 0 0 CR                          power stand-by -> count down
//     1.204  VX37>PC   ACK CR
//     4.204  --                                          power count down -> on
std::string formatTranscriptEntry(const TranscriptEntry& entry);

} // namespace vx37::sim
