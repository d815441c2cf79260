#pragma once

#include <string>
#include <string_view>

namespace vx37 {

// A command frame: the prefix, the code and one carriage return. Nothing else: no start
// character, address, length, checksum or line feed.
inline std::string buildFrame(std::string_view prefix, std::string_view code)
{
    std::string frame;
    frame.reserve(prefix.size() + code.size() + 1);
    frame.append(prefix).append(code).push_back('\r');
    return frame;
}

} // namespace vx37
