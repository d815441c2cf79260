#pragma once

#include <cstdint>
#include <string>

namespace vx37 {

// The ten panel variables. They live as long as the window; start-up resets some of
// them, and the rest begin empty or zero.
struct PanelVariables
{
    std::uint8_t repeatCode = 0;    // repeat-table row of the held button, 0 when none
    std::uint8_t awaitingReply = 0; // 1 from a send until a receive event or the time-out
    std::uint8_t arrowMode = 0;     // 0, 1 or 3: how the arrows time out
    std::string lastFrame;          // the frame last handed to Hyouji for sending
    std::string rxBuffer;           // the receive accumulator
    std::int16_t pressureValue = 0; // the pressure reading, then its value in hPa
    std::int16_t extendedPanel = 0; // 1 after the service chord
    std::string manualCommand;      // the entry box's text as taken by the last SEND
    std::string commSettings;       // the serial line settings
    std::string commandPrefix;      // put before every command code; empty
};

} // namespace vx37
