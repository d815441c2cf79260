#include "link/network/telnet_codec.h"

#include <utility>

namespace vx37 {

namespace {

constexpr unsigned char kSe = 240;
constexpr unsigned char kSb = 250;
constexpr unsigned char kWill = 251;
constexpr unsigned char kWont = 252;
constexpr unsigned char kDo = 253;
constexpr unsigned char kDont = 254;
constexpr unsigned char kIac = 255;

constexpr unsigned char kBinary = 0;
constexpr unsigned char kSuppressGoAhead = 3;
constexpr unsigned char kComPortOption = 44;

// The COM-PORT-OPTION's commands from the client.
constexpr unsigned char kSetBaudRate = 1;
constexpr unsigned char kSetDataSize = 2;
constexpr unsigned char kSetParity = 3;
constexpr unsigned char kSetStopSize = 4;
// A server's answer to a client's command carries the command's code plus this.
constexpr unsigned char kServerAnswer = 100;

bool weWant(unsigned char code)
{
    return code == kBinary || code == kSuppressGoAhead || code == kComPortOption;
}

bool weWantFromThem(unsigned char code)
{
    return code == kBinary || code == kSuppressGoAhead;
}

void say(QByteArray& out, unsigned char verb, unsigned char code)
{
    out.append(char(kIac)).append(char(verb)).append(char(code));
}

QByteArray comPortCommand(unsigned char command, QByteArrayView value)
{
    QByteArray sub;
    sub.append(char(kIac)).append(char(kSb)).append(char(kComPortOption)).append(char(command));
    sub.append(TelnetCodec::escape(value));
    sub.append(char(kIac)).append(char(kSe));
    return sub;
}

char parityCode(LineSettings::Parity parity)
{
    switch (parity) {
    case LineSettings::Parity::None:
        return 1;
    case LineSettings::Parity::Odd:
        return 2;
    case LineSettings::Parity::Even:
        return 3;
    case LineSettings::Parity::Mark:
        return 4;
    case LineSettings::Parity::Space:
        return 5;
    }
    return 1;
}

char stopSizeCode(LineSettings::StopBits stopBits)
{
    switch (stopBits) {
    case LineSettings::StopBits::One:
        return 1;
    case LineSettings::StopBits::Two:
        return 2;
    case LineSettings::StopBits::OneAndHalf:
        return 3;
    }
    return 1;
}

} // namespace

QByteArray TelnetCodec::start()
{
    QByteArray out;
    for (const unsigned char code : {kBinary, kSuppressGoAhead, kComPortOption}) {
        say(out, kWill, code);
        ours_[code].asked = true;
    }
    for (const unsigned char code : {kBinary, kSuppressGoAhead}) {
        say(out, kDo, code);
        theirs_[code].asked = true;
    }
    return out;
}

QByteArray TelnetCodec::escape(QByteArrayView data)
{
    QByteArray out;
    out.reserve(data.size());
    for (const char c : data) {
        out.append(c);
        if (static_cast<unsigned char>(c) == kIac)
            out.append(c);
    }
    return out;
}

QByteArray TelnetCodec::lineSettings(const LineSettings& settings)
{
    const auto baud = static_cast<quint32>(settings.baudRate);
    const char baudBytes[] = {char(baud >> 24), char(baud >> 16), char(baud >> 8), char(baud)};
    const char dataSize = char(settings.dataBits);
    const char parity = parityCode(settings.parity);
    const char stopSize = stopSizeCode(settings.stopBits);
    return comPortCommand(kSetBaudRate, QByteArrayView(baudBytes, 4)) +
           comPortCommand(kSetDataSize, QByteArrayView(&dataSize, 1)) +
           comPortCommand(kSetParity, QByteArrayView(&parity, 1)) +
           comPortCommand(kSetStopSize, QByteArrayView(&stopSize, 1));
}

QByteArray TelnetCodec::receive(QByteArrayView bytes, QByteArray& answers)
{
    QByteArray data;
    data.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        switch (state_) {
        case State::Data:
            if (byte == kIac)
                state_ = State::Command;
            else
                data.append(c);
            break;
        case State::Command:
            state_ = State::Data;
            if (byte == kIac) {
                data.append(c); // a doubled IAC is one 255 of data
            } else if (byte >= kWill) {
                verb_ = byte;
                state_ = State::Option;
            } else if (byte == kSb) {
                state_ = State::Sub;
                sub_.clear();
            }
            // Anything else (no-op, data mark, break, go-ahead, ...) means nothing here.
            break;
        case State::Option:
            option(verb_, byte, answers);
            state_ = State::Data;
            break;
        case State::Sub:
            if (byte == kIac)
                state_ = State::SubCommand;
            else if (sub_.size() < 2)
                sub_.append(c); // the option and the command are all that is looked at
            break;
        case State::SubCommand:
            // IAC IAC is data within it; IAC SE ends it; anything else is a command that
            // ends a subnegotiation left unterminated.
            if (byte == kIac) {
                state_ = State::Sub;
            } else if (byte == kSe) {
                state_ = State::Data;
                endSub();
            } else {
                state_ = State::Command;
                const char again[] = {c};
                data.append(receive(QByteArrayView(again, 1), answers));
            }
            break;
        }
    }
    return data;
}

void TelnetCodec::option(unsigned char verb, unsigned char code, QByteArray& answers)
{
    // Each side of an option is on or off; a request is answered only when it changes
    // that, so two ends never answer each other in a loop (RFC 854's rule).
    const bool enable = verb == kWill || verb == kDo;
    const bool ours = verb == kDo || verb == kDont;
    Side& side = ours ? ours_[code] : theirs_[code];
    const bool wanted = ours ? weWant(code) : weWantFromThem(code);
    const unsigned char yes = ours ? kWill : kDo;
    const unsigned char no = ours ? kWont : kDont;
    const bool wasAsked = std::exchange(side.asked, false);

    if (enable && wanted) {
        if (!side.on && !wasAsked)
            say(answers, yes, code);
        side.on = true;
    } else if (enable) {
        // Refused: never on, so no loop; asked again, the server knows the answer already.
        if (!std::exchange(side.refused, true))
            say(answers, no, code);
    } else if (side.on || wasAsked) {
        if (side.on && !wasAsked)
            say(answers, no, code);
        side.on = false;
    }
    if (ours && code == kComPortOption)
        comPort_ = side.on ? ComPort::Accepted : ComPort::Refused;
}

void TelnetCodec::endSub()
{
    if (sub_.size() == 2 && static_cast<unsigned char>(sub_[0]) == kComPortOption &&
        static_cast<unsigned char>(sub_[1]) == kServerAnswer + kSetBaudRate)
        ++baudRateAnswers_;
}

} // namespace vx37
