// Any bytes: the monitor text starts with a blank, has the length the token rules give,
// and holds only printable characters.
#include "commands/monitor_text.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string shown = vx37::renderMonitorText(text);
    if (shown.empty() || shown[0] != ' ' || shown.size() != vx37::monitorTextLength(text))
        std::abort();
    for (const char c : shown) {
        if (c < 32 || c > 122)
            std::abort();
    }
    return 0;
}
