#include "sim/uart.h"

#include <cstdint>
#include <vector>

namespace vx37::sim {

namespace {

constexpr int kBitsPerCharacter = 10; // start, 8 data, stop

} // namespace

std::string resampleUart(std::string_view bytes, int sentBaud, int readBaud)
{
    if (sentBaud == readBaud || sentBaud <= 0 || readBaud <= 0)
        return std::string(bytes);

    // The sender's bits, idle (1) between nothing: the bytes go out back to back.
    std::vector<bool> line;
    line.reserve(bytes.size() * kBitsPerCharacter);
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        line.push_back(false);
        for (int bit = 0; bit < 8; ++bit)
            line.push_back(((byte >> bit) & 1) != 0);
        line.push_back(true);
    }

    // Time in units of 1 / (2 x sentBaud x readBaud) s: a sent bit lasts 2 x readBaud
    // units, a read bit 2 x sentBaud units, half a read bit sentBaud units.
    const std::int64_t sentBit = 2LL * readBaud;
    const std::int64_t readBit = 2LL * sentBaud;
    const std::int64_t end = static_cast<std::int64_t>(line.size()) * sentBit;
    const auto level = [&](std::int64_t t) {
        const std::int64_t index = t / sentBit;
        return index >= static_cast<std::int64_t>(line.size()) ? true : line[index];
    };

    std::string read;
    std::int64_t t = 0;
    while (t < end) {
        // Idle until the line is low: at once when it still is (after a framing error),
        // else at the next sent bit that is low.
        std::int64_t start = t;
        if (level(t)) {
            std::int64_t index = t / sentBit + 1;
            while (index < static_cast<std::int64_t>(line.size()) && line[index])
                ++index;
            if (index >= static_cast<std::int64_t>(line.size()))
                break;
            start = index * sentBit;
        }
        if (level(start + readBit / 2)) {
            t = start + readBit / 2; // a glitch, not a start bit
            continue;
        }
        unsigned byte = 0;
        for (int bit = 0; bit < 8; ++bit) {
            if (level(start + readBit / 2 + (bit + 1) * readBit))
                byte |= 1u << bit;
        }
        read.push_back(static_cast<char>(byte));
        // Ready again from the middle of the stop bit.
        t = start + readBit / 2 + 9 * readBit;
    }
    return read;
}

} // namespace vx37::sim
