// Any text: the numeric reading and the pressure decoder never crash, never show a
// number outside what a 16-bit value can hold, and say so when the reading is too large.
#include "replies/numeric_reading.h"
#include "replies/status_decoders.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const double reading = vx37::readLeadingNumber(text);
    if (std::isnan(reading))
        std::abort();
    std::int16_t pressure = 0;
    const auto status = vx37::decodePressure(text, pressure);
    if (!status)
        std::abort();
    const double rounded = vx37::roundHalfEven(reading);
    const bool inRange = rounded >= -6553 && rounded <= 6553;
    if (inRange != (*status != vx37::kPressureOutOfRange))
        std::abort();
    if (inRange && *status != std::to_string(pressure) + " hPa")
        std::abort();
    return 0;
}
