#pragma once

#include <optional>
#include <string_view>

namespace vx37 {

// The four fields of a settings string such as "19200,N,8,1".
struct LineSettings
{
    enum class Parity { None, Even, Odd, Mark, Space };
    enum class StopBits { One, OneAndHalf, Two };

    int baudRate = 19200;
    Parity parity = Parity::None;
    int dataBits = 8;
    StopBits stopBits = StopBits::One;

    friend bool operator==(const LineSettings&, const LineSettings&) = default;
};

// Parses "baud,parity,data,stop": a positive baud rate, one of the letters N E O M S
// (either case), 5 to 8 data bits and 1, 1.5 or 2 stop bits. Anything else is nullopt.
std::optional<LineSettings> parseLineSettings(std::string_view text);

} // namespace vx37
