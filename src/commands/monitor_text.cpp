#include "commands/monitor_text.h"

namespace vx37 {

namespace {

std::string_view specialToken(unsigned char c)
{
    switch (c) {
    case 6: return "ACK ";
    case 20: return "&";
    case 13: return "CR ";
    case 10: return "LF ";
    default: return {};
    }
}

} // namespace

std::size_t monitorTextLength(std::string_view text)
{
    std::size_t length = 1;
    for (const char ch : text) {
        const auto token = specialToken(static_cast<unsigned char>(ch));
        length += token.empty() ? 2 : token.size();
    }
    return length;
}

std::string renderMonitorText(std::string_view text)
{
    std::string line;
    line.reserve(monitorTextLength(text));
    line += ' ';
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (const auto token = specialToken(c); !token.empty()) {
            line += token;
        } else if (c >= 32 && c <= 122) {
            line += ch;
            line += ' ';
        } else {
            line += "? ";
        }
    }
    return line;
}

std::string monitorTextForMessage(std::string_view bytes)
{
    constexpr std::size_t kShownBytes = 40;
    const std::string shown = renderMonitorText(bytes.substr(0, kShownBytes));
    const auto first = shown.find_first_not_of(' ');
    std::string message = first == std::string::npos
                              ? std::string()
                              : shown.substr(first, shown.find_last_not_of(' ') - first + 1);
    if (bytes.size() > kShownBytes)
        message += " ... (" + std::to_string(bytes.size()) + " bytes in all)";
    return message;
}

} // namespace vx37
