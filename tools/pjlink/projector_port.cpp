#include "pjlink/projector_port.h"

#include "link/qt_serial_control.h"

namespace vx37::pjlink {

namespace {

// 1 for COM1, 2 for COM2, 0 for anything else.
int comNumber(const std::string& name)
{
    const QString port = QString::fromLocal8Bit(name);
    for (int number : {1, 2}) {
        if (port.compare(QStringLiteral("COM%1").arg(number), Qt::CaseInsensitive) == 0)
            return number;
    }
    return 0;
}

} // namespace

std::string portNameFault(const std::string& name)
{
#ifndef _WIN32
    // A device goes by its path here; COM1 and COM2 stand for devices as in the panel.
    if (comNumber(name) == 0 && name.find('/') == std::string::npos)
        return "takes COM1, COM2 or a device path (for example /dev/ttyUSB0), not \"" + name + "\"";
#endif
    return name.empty() ? "takes COM1, COM2 or a device path" : std::string();
}

std::unique_ptr<SerialControl> projectorPort(const std::string& name, int baud)
{
    auto port = std::make_unique<QtSerialControl>();
    // The service tries again by itself; its log says so.
    port->setRetryAdvice(RetryAdvice::TryAgain);
    port->setSettings(std::to_string(baud) + ",N,8,1");
    if (const int number = comNumber(name))
        port->setCommPort(number);
    else
        port->setDevicePath(QString::fromLocal8Bit(name));
    return port;
}

} // namespace vx37::pjlink
