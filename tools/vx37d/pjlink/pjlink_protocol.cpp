#include "pjlink/pjlink_protocol.h"

#include <QCryptographicHash>

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace vx37::pjlink {

namespace {

constexpr std::size_t kHeaderAndBody = 6;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isPrintable(char c)
{
    return c >= 0x20 && c < 0x7f;
}

bool isBodyCharacter(char c)
{
    return isDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

} // namespace

std::optional<Command> parseCommand(std::string_view line)
{
    if (line.size() < kHeaderAndBody || line[0] != '%' || !isDigit(line[1]) ||
        !std::all_of(line.begin() + 2, line.begin() + kHeaderAndBody, isBodyCharacter))
        return std::nullopt;
    Command command;
    command.header = line.substr(0, 2);
    command.body = line.substr(2, 4);
    if (line.size() > kHeaderAndBody) {
        const std::string_view parameter = line.substr(kHeaderAndBody + 1);
        command.badParameter = line[kHeaderAndBody] != ' ' ||
                               !std::all_of(parameter.begin(), parameter.end(), isPrintable);
        if (!command.badParameter)
            command.parameter = parameter;
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

ClientLines::ClientLines(std::string random, std::string_view password)
    : random_(std::move(random)),
      digest_(random_.empty() ? std::string() : authDigest(random_, password)), started_(false)
{
}

ClientLines::Step ClientLines::take(char c)
{
    using Kind = Step::Kind;
    if (c == '\n') // CR LF ends a line as CR does
        return {};
    if (c != '\r') {
        // The first line carries the digest before its command.
        const std::size_t longest = kLongestCommand - 1 + (digest_.empty() ? 0 : kDigestLength);
        partial_ += c;
        if (partial_.size() > longest)
            return {Kind::Drop, {}, "a line of over " + std::to_string(kLongestCommand) + " bytes"};
        return {};
    }
    std::string line;
    line.swap(partial_);
    if (line.empty())
        return {};
    if (!digest_.empty()) {
        if (line.size() < kDigestLength ||
            !digestMatches(std::string_view(line).substr(0, kDigestLength), digest_))
            return {Kind::Deny, {}, {}};
        digest_.clear();
        started_ = true;
        line.erase(0, kDigestLength);
        if (line.empty())
            return {};
    }
    auto command = parseCommand(line);
    if (!command)
        return {Kind::Drop, {}, "not a PJLink command: \"" + printable(line.substr(0, 40)) + '"'};
    started_ = true;
    return {Kind::Ask, std::move(*command), std::move(line)};
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
