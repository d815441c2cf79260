// The receive path fed arbitrary pieces after any last frame, with time passing between
// them: every decoder runs, nothing crashes, the accumulator stays within its limit and
// the RXD line always shows it.
//
// Input: byte 0 chooses the last frame (one of the nine status queries, a typed text, or
// none); then records of [length byte][piece]; a length byte of 0xFF advances virtual
// time by the next byte in milliseconds x 8 instead.
#include "app/virtual_panel.h"
#include "commands/monitor_text.h"

#include <QString>

#include <cstdint>
#include <cstdlib>
#include <tuple>

namespace {

const QString kTyped[] = {
    QStringLiteral("CR0"), QStringLiteral("CR1"), QStringLiteral("CR4"), QStringLiteral("CR3"),
    QStringLiteral("CR6"), QStringLiteral("CRA"), QStringLiteral("CR9"),
    QStringLiteral("CR PRESSURE"), QStringLiteral("CR7"), QStringLiteral("C00"),
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace vx37;
    if (size == 0)
        return 0;
    VirtualPanel v;
    auto [comm, clock, panel] = std::tie(v.comm, v.clock, v.panel); // references
    panel.Form_Load(ScreenMetrics{28800, 16200, 9615, 9180});

    const std::size_t choice = data[0] % 11;
    if (choice < 10) {
        panel.setText1(kTyped[choice]);
        panel.Command95_Click();
    }
    std::size_t i = 1;
    while (i < size) {
        const std::uint8_t length = data[i++];
        if (length == 0xFF) {
            clock.advance(i < size ? data[i++] * 8 : 1);
            continue;
        }
        const std::size_t take = std::min<std::size_t>(length, size - i);
        comm.receive(std::string(reinterpret_cast<const char*>(data + i), take));
        i += take;
        if (panel.variables().rxBuffer.size() > Panel::kMaxTextLength)
            std::abort();
        if (panel.form().rxdLine != renderMonitorText(panel.variables().rxBuffer))
            std::abort();
    }
    return 0;
}
