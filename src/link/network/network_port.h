#pragma once

#include "link/port_messages.h"

#include <QString>
#include <QStringView>

#include <optional>

namespace vx37 {

// A port of a serial device server, named as its users already write it:
// socket://HOST:PORT is raw TCP, and the server's own line settings apply;
// rfc2217://HOST:PORT is Telnet with the COM-PORT-OPTION, and the PC sets the far port's
// speed, data bits, parity and stop bits. An IPv6 address goes in brackets: [::1]:4001.
struct NetworkPort
{
    enum class Protocol { Raw, Rfc2217 };

    Protocol protocol = Protocol::Raw;
    QString host; // a name or an address, an IPv6 address without its brackets
    quint16 port = 0;

    // "HOST:PORT", an IPv6 address in brackets.
    QString hostAndPort() const;
    // "socket://HOST:PORT" or "rfc2217://HOST:PORT".
    QString name() const;

    friend bool operator==(const NetworkPort&, const NetworkPort&) = default;
};

// Whether a port name is written as a network port, NAME://..., rather than as a device
// path; it may still be a faulty one.
bool isNetworkPortName(QStringView name);

struct ParsedNetworkPort
{
    std::optional<NetworkPort> port;
    QString error; // when there is no port: what is wrong and how the name is written
};

// Reads socket://HOST:PORT or rfc2217://HOST:PORT.
ParsedNetworkPort parseNetworkPort(QStringView name);

// What a network port is, for the operator: HOST:PORT and its kind.
QString networkPortDescription(const NetworkPort& where);

// How long the look-up of a host name may take.
inline constexpr int kNameLookupTimeoutMs = 5000;
// How long the connection to each address of a device server may take.
inline constexpr int kNetworkConnectTimeoutMs = 3000;
// How long a device server may take nothing of what waits to be sent to it.
inline constexpr int kNetworkStallTimeoutMs = 10000;

// Why a connection to a device server failed or ended.
enum class NetworkFailure {
    NameNotFound,
    LookUpTimedOut, // the name server did not answer
    Refused,
    TimedOut,
    Unreachable,
    Closed,
    Turned, // the server said something (its words) and closed: busy with another client
    Stalled // the server took nothing for kNetworkStallTimeoutMs, or too much waited
};

// The warning for a failed or dropped connection: what happened to which HOST:PORT and
// what to do. Port 0 is a port given by its name (no port choice). With
// RetryAdvice::ChooseThePort the control goes on connecting by itself, and says so.
// `words`: for Turned, what the server said, already made printable.
QString networkFailureText(NetworkFailure failure, int port, const NetworkPort& where,
                           RetryAdvice advice, const QString& words = {});

// What a server said, for a message: printable, cut short, in quotes.
QString serverWords(QByteArrayView bytes, bool cut);

// Said once when an rfc2217:// server refuses the COM-PORT-OPTION, or never answers it.
QString speedNotSetText(const NetworkPort& where, const std::string& settings, bool answered);

} // namespace vx37
