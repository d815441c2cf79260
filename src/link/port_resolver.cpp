#include "link/port_resolver.h"

#include "link/port_messages.h"

namespace vx37 {

namespace {

// A name as written, before any variable or listing is read: a COM number, a network port
// or a device path.
ResolvedPort asWritten(const QString& name)
{
    ResolvedPort resolved;
    resolved.number = comNumber(name);
    resolved.choice.path = name;
    if (resolved.number)
        return resolved;
    if (isNetworkPortName(name)) {
        const ParsedNetworkPort parsed = parseNetworkPort(name);
        resolved.kind = parsed.port ? ResolvedPort::Kind::Network : ResolvedPort::Kind::Fault;
        resolved.network = parsed.port.value_or(NetworkPort());
        resolved.fault = parsed.error;
        return resolved;
    }
    if (name.isEmpty())
        resolved.fault = noPortNameText();
#ifndef Q_OS_WIN
    // COM1 and COM2 are the only port numbers; any other device goes by its path.
    else if (!name.contains(u'/'))
        resolved.fault = notAPortNameText(name);
#endif
    if (!resolved.fault.isEmpty())
        resolved.kind = ResolvedPort::Kind::Fault;
    return resolved;
}

} // namespace

int comNumber(QStringView name)
{
    for (const int number : {1, 2}) {
        if (name.compare(QStringLiteral("COM%1").arg(number), Qt::CaseInsensitive) == 0)
            return number;
    }
    return 0;
}

QString portNameFault(const QString& given)
{
    return asWritten(given).fault;
}

ResolvedPort resolvePort(const QString& given, const PortLister& present)
{
    const int number = comNumber(given);
    if (number == 0)
        return asWritten(given);

    // A variable names any device path or network port; what it says is taken as it is.
    const QString variable = QStringLiteral("VX37_COM%1").arg(number);
    const QString name = qEnvironmentVariable(variable.toLatin1().constData());
    if (!name.isEmpty()) {
        ResolvedPort resolved = isNetworkPortName(name) ? asWritten(name) : ResolvedPort();
        resolved.number = number;
        resolved.choice.path = name;
        resolved.choice.variable = variable;
        return resolved;
    }
    ResolvedPort resolved;
    resolved.number = number;
#ifdef Q_OS_WIN
    Q_UNUSED(present);
    resolved.choice.path = QStringLiteral("COM%1").arg(number);
#else
    const PortList ordered = comPortOrder(present());
    resolved.choice.portsPresent = static_cast<int>(ordered.size());
    if (number <= resolved.choice.portsPresent) {
        resolved.choice.port = ordered[static_cast<std::size_t>(number - 1)];
        resolved.choice.path = resolved.choice.port.path;
    }
#endif
    return resolved;
}

std::optional<int> projectorSpeed(std::string_view given)
{
    if (given == "19200")
        return 19200;
    if (given == "9600")
        return 9600;
    return std::nullopt;
}

std::string projectorSettings(int baud)
{
    return std::to_string(baud) + ",N,8,1";
}

} // namespace vx37
