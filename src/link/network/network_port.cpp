#include "link/network/network_port.h"

#include <QHostAddress>

namespace vx37 {

namespace {

constexpr QStringView kSeparator = u"://";

// A name as written, shortened for a message: a name pasted by mistake can be long.
QString quoted(QStringView text)
{
    constexpr qsizetype kLongest = 60;
    const QString shown =
        text.size() <= kLongest ? text.toString() : text.left(kLongest).toString() + QChar(0x2026);
    return QLatin1Char('"') + shown + QLatin1Char('"');
}

bool isSchemeCharacter(QChar c)
{
    return c.isLetterOrNumber() || c == u'+' || c == u'-' || c == u'.';
}

bool isHostName(QStringView host)
{
    for (const QChar c : host) {
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != u'-' && c != u'.' && c != u'_')
            return false;
    }
    return !host.isEmpty();
}

ParsedNetworkPort fault(QStringView name, const QString& what)
{
    return {std::nullopt, QStringLiteral("%1: %2").arg(quoted(name), what)};
}

} // namespace

QString NetworkPort::hostAndPort() const
{
    const QString shownHost = host.contains(u':') ? u'[' + host + u']' : host;
    // In one arg(): an IPv6 scope such as %1 in the host must not take the port's place.
    return QStringLiteral("%1:%2").arg(shownHost, QString::number(port));
}

QString NetworkPort::name() const
{
    return (protocol == Protocol::Raw ? QStringLiteral("socket://")
                                      : QStringLiteral("rfc2217://")) +
           hostAndPort();
}

bool isNetworkPortName(QStringView name)
{
    const qsizetype separator = name.indexOf(kSeparator);
    if (separator <= 0 || !name.front().isLetter())
        return false;
    for (const QChar c : name.left(separator)) {
        if (!isSchemeCharacter(c))
            return false;
    }
    return true;
}

ParsedNetworkPort parseNetworkPort(QStringView name)
{
    const QString forms = QStringLiteral("socket://HOST:PORT (raw TCP) or rfc2217://HOST:PORT "
                                         "(Telnet, the PC sets the line speed)");
    const qsizetype separator = name.indexOf(kSeparator);
    if (!isNetworkPortName(name))
        return fault(name, QStringLiteral("not a network port; write ") + forms);
    NetworkPort port;
    const QStringView scheme = name.left(separator);
    if (scheme.compare(u"socket", Qt::CaseInsensitive) == 0)
        port.protocol = NetworkPort::Protocol::Raw;
    else if (scheme.compare(u"rfc2217", Qt::CaseInsensitive) == 0)
        port.protocol = NetworkPort::Protocol::Rfc2217;
    else
        return fault(name, QStringLiteral("unknown kind of port %1; write %2")
                               .arg(quoted(name.left(separator + kSeparator.size())), forms));

    const QStringView rest = name.mid(separator + kSeparator.size());
    QStringView portText;
    if (rest.startsWith(u'[')) {
        const qsizetype close = rest.indexOf(u']');
        if (close < 0)
            return fault(name, QStringLiteral("the IPv6 address has no closing bracket; "
                                              "write it as in socket://[::1]:4001"));
        const QStringView host = rest.mid(1, close - 1);
        if (QHostAddress(host.toString()).protocol() != QAbstractSocket::IPv6Protocol)
            return fault(name, QStringLiteral("%1 is not an IPv6 address").arg(quoted(host)));
        const QStringView after = rest.mid(close + 1);
        if (!after.isEmpty() && !after.startsWith(u':'))
            return fault(name, QStringLiteral("a colon and the TCP port follow the address, "
                                              "as in socket://[::1]:4001"));
        port.host = host.toString();
        portText = after.mid(1);
    } else {
        const qsizetype colon = rest.lastIndexOf(u':');
        const QStringView host = colon < 0 ? rest : rest.left(colon);
        if (host.contains(u':'))
            return fault(name, QStringLiteral("an IPv6 address goes in brackets, "
                                              "as in socket://[::1]:4001"));
        if (host.isEmpty())
            return fault(name, QStringLiteral("the host is missing; write it before the TCP "
                                              "port, as in socket://192.168.1.50:4001"));
        if (!isHostName(host))
            return fault(name,
                         QStringLiteral("%1 is not a host name or address").arg(quoted(host)));
        port.host = host.toString();
        portText = colon < 0 ? QStringView() : rest.mid(colon + 1);
    }
    if (portText.isEmpty()) {
        NetworkPort example = port;
        example.port = 4001;
        return fault(name, QStringLiteral("the TCP port is missing; write it after the host, "
                                          "as in %1")
                               .arg(example.name()));
    }
    bool number = false;
    const uint value = portText.toUInt(&number);
    if (!number || value < 1 || value > 65535 || !portText.front().isDigit())
        return fault(name, QStringLiteral("%1 is not a TCP port; give a number from 1 to 65535")
                               .arg(quoted(portText)));
    port.port = static_cast<quint16>(value);
    return {port, {}};
}

QString networkPortDescription(const NetworkPort& where)
{
    return QStringLiteral("%1 \u2014 %2")
        .arg(where.hostAndPort(), where.protocol == NetworkPort::Protocol::Raw
                                      ? QStringLiteral("raw TCP to a serial device server")
                                      : QStringLiteral("Telnet to a serial device server, "
                                                       "which takes the speed from here"));
}

QString serverWords(QByteArrayView bytes, bool cut)
{
    // Control characters as blanks, runs of blanks as one: a greeting ends in CR LF. Angle
    // brackets too: a warning box would take a tag from a hostile server as rich text.
    QString shown;
    for (const char c : bytes) {
        const bool printable = c >= 32 && c < 127 && c != '<' && c != '>';
        shown += printable ? QLatin1Char(c) : QLatin1Char(' ');
    }
    shown = shown.simplified();
    return QLatin1Char('"') + shown + (cut ? QStringLiteral("\u2026\"") : QStringLiteral("\""));
}

QString networkFailureText(NetworkFailure failure, int port, const NetworkPort& where,
                           RetryAdvice advice, const QString& words)
{
    // The panel goes on connecting by itself; a command is run again.
    const QString retry = advice == RetryAdvice::ChooseThePort
                              ? QStringLiteral("the panel reconnects by itself as soon as it can")
                              : QStringLiteral("then try again");
    QString text;
    switch (failure) {
    case NetworkFailure::NameNotFound:
        text = QStringLiteral("the host %1 of %2 was not found.\n"
                              "Check the name, or give the device server's IP address instead; "
                              "%3.")
                   .arg(where.host, where.name(), retry);
        break;
    case NetworkFailure::LookUpTimedOut:
        text =
            QStringLiteral("the name %1 of %2 could not be resolved within %3 seconds.\n"
                           "The name server does not answer: check the network settings, or "
                           "give the device server's IP address instead; %4.")
                .arg(where.host, where.name(), QString::number(kNameLookupTimeoutMs / 1000), retry);
        break;
    case NetworkFailure::Refused:
        text = QStringLiteral("%1 refused the connection (%2).\n"
                              "Nothing listens on that port, or the device server is busy with "
                              "another client: check the port number and that the device "
                              "server runs, or close its other client; %3.")
                   .arg(where.hostAndPort(), where.name(), retry);
        break;
    case NetworkFailure::TimedOut:
        text = QStringLiteral("%1 did not answer within %2 seconds (%3).\n"
                              "Check that the device server is switched on and on the network, "
                              "and its address; %4.")
                   .arg(where.hostAndPort(), QString::number(kNetworkConnectTimeoutMs / 1000),
                        where.name(), retry);
        break;
    case NetworkFailure::Unreachable:
        text = QStringLiteral("%1 cannot be reached from this computer (%2).\n"
                              "Check the network connection and the address; %3.")
                   .arg(where.hostAndPort(), where.name(), retry);
        break;
    case NetworkFailure::Closed:
        text = QStringLiteral("%1 closed the connection (%2).\n"
                              "The device server was stopped or restarted, or it serves another "
                              "client now; %3.")
                   .arg(where.hostAndPort(), where.name(), retry);
        break;
    case NetworkFailure::Turned:
        text = QStringLiteral("%1 turned the connection away, saying %2 (%3).\n"
                              "The device server is most likely busy with another client: close "
                              "that client, or check the device server's configuration; %4.")
                   .arg(where.hostAndPort(), words, where.name(), retry);
        break;
    case NetworkFailure::Stalled:
        text = QStringLiteral("%1 stopped answering (%2): it took nothing of what was sent "
                              "to it, or let the connection's probes go unanswered.\n"
                              "The device server lost its power or hangs, or what listens "
                              "there is no serial device server: check it and its address, "
                              "restart it if need be; %3.")
                   .arg(where.hostAndPort(), where.name(), retry);
        break;
    }
    if (port != 0)
        return QStringLiteral("COM%1: ").arg(port) + text;
    // A sentence that begins with the host keeps the host as written.
    if (!text.startsWith(where.hostAndPort()))
        text[0] = text[0].toUpper();
    return text;
}

QString speedNotSetText(const NetworkPort& where, const std::string& settings, bool answered)
{
    return QStringLiteral("%1 does not let this computer set the line (%2 the "
                          "COM-PORT-OPTION), so the line keeps the device server's own "
                          "settings instead of %3.\n"
                          "Set the projector's speed in the device server's configuration.")
        .arg(where.name(),
             answered ? QStringLiteral("it refused") : QStringLiteral("it did not answer"),
             QString::fromStdString(settings));
}

} // namespace vx37
