// Any bytes from a PJLink client, login included, through its per-client line handling and
// the bridge (its projector silent): nothing is asked before the login, nothing is read
// after a close, and every answer is one well-formed, printable line.
#include "link/memory_serial_control.h"
#include "link/virtual_clock.h"
#include "pjlink/pjlink_bridge.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace vx37;
using namespace vx37::pjlink;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static VirtualClock clock;
    static MemorySerialControl port;
    static const ProjectorLine::Clock now = [] { return clock.now(); };
    static ProjectorLine line(port, clock.createTimer(0), clock.createTimer(0),
                              clock.createTimer(0), now, 5000,
                              Bridge::polledQueries());
    static Bridge bridge(line, {"room 101", "", "VX37", "vx37d"}, now);
    if (size == 0)
        return 0;
    // The first byte: with a password or without.
    const bool password = data[0] & 1;
    ClientLines lines(password ? "498e4a67" : "", "JBMIAProjectorLink");
    for (const char c : std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1)) {
        const ClientLines::Step step = lines.take(c);
        using Kind = ClientLines::Step::Kind;
        if (step.kind == Kind::Deny || step.kind == Kind::Drop)
            return 0;
        if (step.kind != Kind::Ask)
            continue;
        if (!lines.started())
            std::abort();
        std::string answer;
        bridge.answer(step.command, [&answer](const std::string& a) { answer = a; });
        // "%1POWR=...": the header and body as sent, printable ASCII only.
        if (answer.size() < 7 || answer.size() > kLongestCommand || answer[0] != '%' ||
            answer[6] != '=' ||
            std::any_of(answer.begin(), answer.end(), [](char a) { return a < 0x20 || a > 0x7e; }))
            std::abort();
    }
    return 0;
}
