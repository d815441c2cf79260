// The frame exchange and the reply forms fed arbitrary replies, in pieces, with time
// passing and connections made between them: nothing crashes, a reply never outgrows its
// bound, and what counts as an answer has the form of the frame's answer.
//
// Input: byte 0 chooses the frame (a status query, a command or a typed text) and whether
// answers settle; then records of [length byte][piece]; a length byte of 0xFF advances
// virtual time by the next byte in milliseconds x 8 instead, 0xFE says the line was just
// connected.
#include "link/frame_exchange.h"
#include "link/memory_serial_control.h"
#include "link/virtual_clock.h"
#include "replies/reply_forms.h"

#include <cstdint>
#include <cstdlib>

namespace {

const char* const kCodes[] = {"CR0", "CR1", "CR3", "CR4", "CR6", "CR7", "CR9",
                              "CRA", "CR PRESSURE", "C00", "C05", "XYZ"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace vx37;
    if (size == 0)
        return 0;
    const std::string code = kCodes[data[0] % std::size(kCodes)];
    VirtualClock clock;
    MemorySerialControl port;
    port.open();
    FrameExchange exchange(port, clock.createTimer(0), [&] { return clock.now(); });
    exchange.setSettleMs(data[0] & 0x80 ? 0 : FrameExchange::kSettleMs);
    const auto check = [&](const FrameReply& reply) {
        if (reply.reply.size() > FrameExchange::kLongestReply ||
            reply.after.size() > 2 * FrameExchange::kLongestReply)
            std::abort();
        if (reply.answered && (!isAnswerTo(code, reply.reply) || reply.reply.back() != '\r'))
            std::abort();
        (void)lampHours(reply.reply);
        (void)temperatures(reply.reply);
    };
    const auto sendWhenReady = [&] {
        if (exchange.ready())
            exchange.exchange(code, 500, check);
    };
    QObject::connect(&exchange, &FrameExchange::lineFree, sendWhenReady);
    sendWhenReady();
    std::size_t i = 1;
    while (i < size) {
        const std::uint8_t length = data[i++];
        if (length == 0xFF) {
            clock.advance(i < size ? data[i++] * 8 : 1);
        } else if (length == 0xFE) {
            exchange.lineOpened();
        } else {
            const std::size_t take = std::min<std::size_t>(length, size - i);
            const std::string piece(reinterpret_cast<const char*>(data + i), take);
            i += take;
            (void)isAnswerTo(code, piece);
            port.receive(piece);
        }
        sendWhenReady();
    }
    return 0;
}
