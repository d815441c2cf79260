#include "pjlink/pjlink_protocol.h"

#include <QCryptographicHash>

#include <cctype>
#include <cstdio>

namespace vx37::pjlink {

namespace {

constexpr std::size_t kHeaderAndBody = 6;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

std::optional<Command> parseCommand(std::string_view line)
{
    if (line.size() < kHeaderAndBody || line[0] != '%' || !isDigit(line[1]))
        return std::nullopt;
    Command command;
    command.header = line.substr(0, 2);
    command.body = line.substr(2, 4);
    if (line.size() > kHeaderAndBody) {
        // Anything but a blank after the four letters makes another, unknown, command.
        if (line[kHeaderAndBody] != ' ')
            command.body = line.substr(2);
        else
            command.parameter = line.substr(kHeaderAndBody + 1);
    }
    return command;
}

std::string greeting(std::string_view random)
{
    return random.empty() ? std::string("PJLINK 0") : "PJLINK 1 " + std::string(random);
}

std::string authDigest(std::string_view random, std::string_view password)
{
    QCryptographicHash md5(QCryptographicHash::Md5);
    md5.addData(QByteArrayView(random.data(), static_cast<qsizetype>(random.size())));
    md5.addData(QByteArrayView(password.data(), static_cast<qsizetype>(password.size())));
    return md5.result().toHex().toStdString();
}

bool digestMatches(std::string_view sent, std::string_view expected)
{
    if (sent.size() != expected.size())
        return false;
    unsigned difference = 0;
    for (std::size_t i = 0; i < sent.size(); ++i)
        difference |=
            static_cast<unsigned char>(std::tolower(static_cast<unsigned char>(sent[i]))) ^
            static_cast<unsigned char>(expected[i]);
    return difference == 0;
}

std::string printable(std::string_view bytes)
{
    std::string shown;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7f && byte != '\\') {
            shown += c;
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            shown += escaped;
        }
    }
    return shown;
}

} // namespace vx37::pjlink
