#include "link/line_settings.h"

#include <charconv>
#include <vector>

namespace vx37 {

namespace {

std::vector<std::string_view> splitFields(std::string_view text)
{
    std::vector<std::string_view> fields;
    for (;;) {
        const auto comma = text.find(',');
        fields.push_back(text.substr(0, comma));
        if (comma == std::string_view::npos)
            return fields;
        text.remove_prefix(comma + 1);
    }
}

std::optional<int> wholeNumber(std::string_view field)
{
    int value = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (field.empty() || error != std::errc() || end != field.data() + field.size())
        return std::nullopt;
    return value;
}

} // namespace

std::optional<LineSettings> parseLineSettings(std::string_view text)
{
    const auto fields = splitFields(text);
    if (fields.size() != 4)
        return std::nullopt;

    LineSettings settings;
    const auto baud = wholeNumber(fields[0]);
    if (!baud || *baud <= 0)
        return std::nullopt;
    settings.baudRate = *baud;

    if (fields[1].size() != 1)
        return std::nullopt;
    switch (fields[1][0]) {
    case 'N': case 'n': settings.parity = LineSettings::Parity::None; break;
    case 'E': case 'e': settings.parity = LineSettings::Parity::Even; break;
    case 'O': case 'o': settings.parity = LineSettings::Parity::Odd; break;
    case 'M': case 'm': settings.parity = LineSettings::Parity::Mark; break;
    case 'S': case 's': settings.parity = LineSettings::Parity::Space; break;
    default: return std::nullopt;
    }

    const auto dataBits = wholeNumber(fields[2]);
    if (!dataBits || *dataBits < 5 || *dataBits > 8)
        return std::nullopt;
    settings.dataBits = *dataBits;

    if (fields[3] == "1")
        settings.stopBits = LineSettings::StopBits::One;
    else if (fields[3] == "1.5")
        settings.stopBits = LineSettings::StopBits::OneAndHalf;
    else if (fields[3] == "2")
        settings.stopBits = LineSettings::StopBits::Two;
    else
        return std::nullopt;
    return settings;
}

} // namespace vx37
