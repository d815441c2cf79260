// Any bytes from a server, split anywhere (byte 0 says where): the same data and answers
// as in one piece, no more data than came, and at most one 3-byte answer per 3 bytes.
#include "link/network/telnet_codec.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const QByteArrayView server(data + 1, static_cast<qsizetype>(size - 1));
    const qsizetype split = data[0] % (server.size() + 1);
    vx37::TelnetCodec whole, pieces;
    whole.start();
    pieces.start();
    QByteArray answers, pieceAnswers;
    const QByteArray got = whole.receive(server, answers);
    QByteArray pieceData = pieces.receive(server.first(split), pieceAnswers);
    pieceData += pieces.receive(server.sliced(split), pieceAnswers);
    if (got != pieceData || answers != pieceAnswers || whole.comPort() != pieces.comPort() ||
        whole.baudRateAnswers() != pieces.baudRateAnswers() || got.size() > server.size() ||
        answers.size() % 3 != 0 || answers.size() > server.size())
        std::abort();
    for (qsizetype i = 0; i < answers.size(); i += 3) {
        if (answers[i] != char(255) || static_cast<unsigned char>(answers[i + 1]) < 251)
            std::abort();
    }
    return 0;
}
