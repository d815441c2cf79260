#pragma once

#include "link/line_settings.h"

#include <QByteArray>
#include <QByteArrayView>

#include <array>

namespace vx37 {

// The client's side of Telnet (RFC 854) to a serial device server with the
// COM-PORT-OPTION (RFC 2217): bytes in, bytes out; the socket is elsewhere.
//
// The client asks for binary both ways (so a CR is a CR) and no go-aheads, offers the
// COM-PORT-OPTION, and refuses every other option the server offers or asks for,
// echo included: the panel shows its own frames. Of the server's notifications only the
// answer to SET-BAUDRATE counts; the others (line and modem state, the other settings it
// took) are read and dropped: the panel needs none of them. Every command gets at most one
// answer of its own size, and an option refused once is not refused again, so a server
// cannot make the client say more than it is told.
class TelnetCodec
{
public:
    // How the server answered the offer of the COM-PORT-OPTION.
    enum class ComPort { Asked, Accepted, Refused };

    // What the client says first.
    QByteArray start();
    // Data for the far line, every IAC (255) doubled.
    static QByteArray escape(QByteArrayView data);
    // Bytes from the server: returns the line's data among them and appends to `answers`
    // what the client must say back. A command may be split across calls.
    QByteArray receive(QByteArrayView bytes, QByteArray& answers);
    // SET-BAUDRATE, SET-DATASIZE, SET-PARITY and SET-STOPSIZE for these settings.
    static QByteArray lineSettings(const LineSettings& settings);

    ComPort comPort() const { return comPort_; }
    // How many times the server has answered a SET-BAUDRATE: it answers once the speed is
    // set, so data sent after the answer goes out at the new speed.
    int baudRateAnswers() const { return baudRateAnswers_; }

private:
    enum class State { Data, Command, Option, Sub, SubCommand };
    struct Side
    {
        bool on = false;
        bool asked = false;   // we asked for it and wait for the answer
        bool refused = false; // we refused it once: asked again, we keep still
    };

    void option(unsigned char verb, unsigned char code, QByteArray& answers);
    void endSub();

    State state_ = State::Data;
    unsigned char verb_ = 0;         // WILL, WONT, DO or DONT waiting for its option code
    std::array<Side, 256> ours_{};   // options this side performs (WILL / DO from the server)
    std::array<Side, 256> theirs_{}; // options the server performs (WILL from the server / DO)
    ComPort comPort_ = ComPort::Asked;
    QByteArray sub_; // the subnegotiation being read: its option, command and value
    int baudRateAnswers_ = 0;
};

} // namespace vx37
