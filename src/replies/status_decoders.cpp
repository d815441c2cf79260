#include "replies/status_decoders.h"

#include "replies/numeric_reading.h"

#include <array>

namespace vx37 {

namespace {

struct Entry
{
    std::string_view key;
    std::string_view text;
};

// The first n characters of a text, or the whole text when it is shorter.
std::string_view left(std::string_view text, std::size_t n)
{
    return text.substr(0, n);
}

// At most n characters from position p (counted from 1); none when the text is shorter.
std::string_view mid(std::string_view text, std::size_t p, std::size_t n)
{
    return p > text.size() ? std::string_view() : text.substr(p - 1, n);
}

template <std::size_t N>
std::optional<std::string> lookUp(std::string_view shown, std::size_t keyLength,
                                  const std::array<Entry, N>& table)
{
    const auto key = left(shown, keyLength);
    for (const Entry& entry : table) {
        if (entry.key == key)
            return std::string(entry.text);
    }
    return std::nullopt;
}

constexpr std::array<Entry, 13> kOperatingState{{
    {" 0 0", " Power ON"},
    {" 8 0", " Stand by"},
    {" 4 0", " Count down"},
    {" 2 0", " Cooling down"},
    {" 1 0", " Power Fail"},
    {" 0 8", " Temperature Warning"},
    {" 0 2", " NO Key input "},
    {" 0 4", " Lamp OFF by PWR Management"},
    {" 2 8", " Temperature Warning & cooling down"},
    {" 2 4", "Cooling down  PWR Management"},
    {" 8 8", " Temperature Warning and recoverd"},
    {" 2 1", " Cooling down (All Lamp FAIL)"},
    {" 8 1", " Cooling down & sutandby (All Lamp FAIL)"},
}};

constexpr std::array<Entry, 4> kSelectedInput{{
    {" 1", " Computer 1"},
    {" 2", " Computer 2"},
    {" 3", " Video"},
    {" 4", " Input mode 4"},
}};

constexpr std::array<Entry, 4> kPictureReversal{{
    {" 1 1", " Normally"},
    {" 1 0", " Top/Bottom reversal"},
    {" 0 1", " Left/Right reversal"},
    {" 0 0", " Top/Bottom , Left/Right reversal"},
}};

constexpr std::array<Entry, 6> kMuteAndSignal{{
    {" 0 0", " Video & Audio mute OFF"},
    {" 0 1", " Video mute ON"},
    {" 0 2", " Audio mute ON"},
    {" 0 3", " Video & Audio mute ON"},
    {" 8 0", " No signal"},
    {" F F", " Stand by"},
}};

constexpr std::array<Entry, 8> kLampMode{{
    {" 0 0", " All OFF : 2 Lamp mode"},
    {" 0 1", " No1 ON  : 2 Lamp mode"},
    {" 0 2", " No2 ON  : 2 Lamp mode"},
    {" 0 3", " No1,2 ON  : 2 Lamp mode"},
    {" 1 0", " All OFF : 1 Lamp mode(No1 USE)"},
    {" 1 1", " No1 ON  : 1 Lamp mode(No1 USE)"},
    {" 2 0", " All OFF : 1 Lamp mode(No2 USE)"},
    {" 2 2", " No2 ON  : 1 Lamp mode(No2 USE)"},
}};

template <auto Decoder>
std::optional<std::string> ignoringPressure(std::string_view shown, std::int16_t&)
{
    return Decoder(shown);
}

using F = ReplyForm;

constexpr std::array<StatusQuery, 9> kStatusQueries{{
    {"CR0", ignoringPressure<decodeOperatingState>, F::TableKey, 2},
    {"CR1", ignoringPressure<decodeSelectedInput>, F::TableKey, 1},
    {"CR4", ignoringPressure<decodePictureReversal>, F::TableKey, 2},
    {"CR3", ignoringPressure<decodeLampHours>, F::LampHours},
    {"CR6", ignoringPressure<decodeTemperatures>, F::Temperatures},
    {"CRA", ignoringPressure<decodeMuteAndSignal>, F::TableKey, 2},
    {"CR9", ignoringPressure<decodeFreeText>, F::Text},
    {"CR PRESSURE", decodePressure, F::Number},
    {"CR7", ignoringPressure<decodeLampMode>, F::TableKey, 2},
}};
} // namespace

std::optional<std::string> decodeOperatingState(std::string_view shown)
{
    return lookUp(shown, 4, kOperatingState);
}

std::optional<std::string> decodeSelectedInput(std::string_view shown)
{
    return lookUp(shown, 2, kSelectedInput);
}

std::optional<std::string> decodePictureReversal(std::string_view shown)
{
    return lookUp(shown, 4, kPictureReversal);
}

std::optional<std::string> decodeMuteAndSignal(std::string_view shown)
{
    return lookUp(shown, 4, kMuteAndSignal);
}

std::optional<std::string> decodeLampMode(std::string_view shown)
{
    return lookUp(shown, 4, kLampMode);
}

std::optional<std::string> decodeLampHours(std::string_view shown)
{
    return std::string(left(shown, 38)) + " Hour Use";
}

std::optional<std::string> decodeTemperatures(std::string_view shown)
{
    std::string line = "  S1=";
    line.append(left(shown, 10)).append(" C  ,   S2= ");
    line.append(mid(shown, 15, 8)).append(" C , S3=");
    line.append(mid(shown, 25, 10)).append(" C");
    return line;
}

std::optional<std::string> decodeFreeText(std::string_view shown)
{
    return std::string(shown);
}

std::optional<std::string> decodePressure(std::string_view shown, std::int16_t& pressureValue)
{
    constexpr double kLowestReading = -6553;
    constexpr double kHighestReading = 6553;
    const double reading = roundHalfEven(readLeadingNumber(shown));
    if (!(reading >= kLowestReading && reading <= kHighestReading))
        return std::string(kPressureOutOfRange);
    pressureValue = static_cast<std::int16_t>(reading);
    const auto product = static_cast<std::int16_t>(pressureValue * 5);
    const double value = ((product / 1024.0) - 0.204) / 0.00459 + 150;
    pressureValue = static_cast<std::int16_t>(roundHalfEven(value));
    return std::to_string(pressureValue) + " hPa";
}

std::span<const StatusQuery> statusQueries()
{
    return kStatusQueries;
}

} // namespace vx37
