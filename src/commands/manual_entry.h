#pragma once

#include <QString>

#include <string>

namespace vx37 {

// The bytes "SEND" puts on the wire for the entry box's text: ISO 8859-1, one byte per
// character, so each typed character is one monitor-text token. A character outside
// ISO 8859-1 (Japanese, an emoji, ...) is sent as '?'.
std::string encodeEntryText(const QString& text);

} // namespace vx37
