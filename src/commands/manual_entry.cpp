#include "commands/manual_entry.h"

#include <QList>

namespace vx37 {

std::string encodeEntryText(const QString& text)
{
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(text.size()));
    // By code point, so a character outside the basic plane is one '?', not two.
    for (const char32_t c : text.toUcs4())
        bytes += c <= 0xFF ? static_cast<char>(c) : '?';
    return bytes;
}

} // namespace vx37
