// Any bytes from a server, split anywhere: the codec gives the same data and answers as
// for the bytes in one piece, never more data than came, and at most one 3-byte answer
// (IAC, WILL/WONT/DO/DONT, option) per 3 bytes that came.
//
// Input: byte 0 chooses where the rest is split.
#include "link/telnet_codec.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using vx37::TelnetCodec;
    if (size == 0)
        return 0;
    const QByteArrayView server(data + 1, static_cast<qsizetype>(size - 1));
    const qsizetype split = server.isEmpty() ? 0 : data[0] % (server.size() + 1);

    TelnetCodec whole;
    TelnetCodec pieces;
    whole.start();
    pieces.start();
    QByteArray answers;
    const QByteArray got = whole.receive(server, answers);
    QByteArray pieceAnswers;
    QByteArray pieceData = pieces.receive(server.first(split), pieceAnswers);
    pieceData += pieces.receive(server.sliced(split), pieceAnswers);

    if (got != pieceData || answers != pieceAnswers || whole.comPort() != pieces.comPort() ||
        whole.baudRateAnswers() != pieces.baudRateAnswers())
        std::abort();
    if (got.size() > server.size() || answers.size() % 3 != 0 ||
        answers.size() > server.size())
        std::abort();
    for (qsizetype i = 0; i < answers.size(); i += 3) {
        const auto verb = static_cast<unsigned char>(answers[i + 1]);
        if (static_cast<unsigned char>(answers[i]) != 255 || verb < 251)
            std::abort();
    }
    return 0;
}
