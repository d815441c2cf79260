// The receive path: the receive event, the RXD line and the status-query dispatch.

#include "app/panel.h"

#include "commands/command_frame.h"
#include "commands/monitor_text.h"
#include "link/serial_control.h"
#include "replies/status_decoders.h"

#include <algorithm>

namespace vx37 {

void Panel::MSComm1_OnComm()
{
    if (comm_.commEvent() != SerialControl::kEventReceive)
        return;
    const std::string piece = comm_.input();
    // The accumulator keeps its head: the decoders read from the first character, and
    // whatever comes past the limit of Hyouji is dropped.
    const std::size_t room = kMaxTextLength - std::min(vars_.rxBuffer.size(), kMaxTextLength);
    vars_.rxBuffer.append(piece, 0, std::min(room, piece.size()));
    vars_.awaitingReply = 0;
    Hyouji(vars_.rxBuffer, kDirectionReceive);
}

void Panel::showReceived(const std::string& received, const std::string& monitorText)
{
    setRxdLine(monitorText);
    // Whole frames compared, so at most one decoder runs; a typed "cr0" or "CR0 " runs none.
    for (const StatusQuery& query : statusQueries()) {
        if (buildFrame(vars_.commandPrefix, query.code) != vars_.lastFrame)
            continue;
        // The RXD line shows the whole accumulation, but the decoder reads the reply to
        // its own query: what came since the query went out. Nothing yet, nothing to read.
        const std::size_t start = std::min(replyStart_, received.size());
        if (start == received.size())
            return;
        std::string ownReply;
        if (start > 0)
            ownReply = renderMonitorText(std::string_view(received).substr(start));
        if (auto status = query.decode(start == 0 ? monitorText : ownReply, vars_.pressureValue))
            setStatusLine(std::move(*status));
    }
}

void Panel::emptyAccumulator()
{
    vars_.rxBuffer.clear();
    replyStart_ = 0;
}

} // namespace vx37
