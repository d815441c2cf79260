#include "line/projector_port.h"

#include "link/network/network_port.h"

namespace vx37 {

namespace {

// 1 for COM1, 2 for COM2, 0 for anything else.
int comNumber(const QString& port)
{
    for (int number : {1, 2}) {
        if (port.compare(QStringLiteral("COM%1").arg(number), Qt::CaseInsensitive) == 0)
            return number;
    }
    return 0;
}

} // namespace

std::string portNameFault(const std::string& name)
{
    const QString port = QString::fromLocal8Bit(name);
    if (isNetworkPortName(port)) {
        const ParsedNetworkPort parsed = parseNetworkPort(port);
        return parsed.port ? std::string() : parsed.error.toLocal8Bit().toStdString();
    }
#ifndef _WIN32
    // A device goes by its path here; COM1 and COM2 stand for devices as in the panel.
    if (comNumber(port) == 0 && !port.contains(QLatin1Char('/')))
        return "takes COM1, COM2, a device path (for example /dev/ttyUSB0), socket://HOST:PORT "
               "or rfc2217://HOST:PORT, not \"" +
               name + "\"";
#endif
    return name.empty() ? "takes COM1, COM2, a device path or a network port" : std::string();
}

std::unique_ptr<AnyPortControl> projectorPort(const std::string& name, int baud)
{
    auto port = std::make_unique<AnyPortControl>();
    // The service tries again by itself; its log says so.
    port->setRetryAdvice(RetryAdvice::TryAgain);
    port->setSettings(std::to_string(baud) + ",N,8,1");
    const QString given = QString::fromLocal8Bit(name);
    if (const int number = comNumber(given))
        port->setCommPort(number);
    else
        port->setPortName(given);
    return port;
}

} // namespace vx37
