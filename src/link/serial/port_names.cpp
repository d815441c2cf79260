#include "link/serial/port_names.h"

#include <QDir>
#include <QHash>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>
#include <utility>

namespace vx37 {

PortList presentPorts()
{
    // The stable names are links to the devices: /dev/serial/by-id/usb-…-port0 -> ../../ttyUSB0.
    QHash<QString, QString> stableNames;
    const QDir byId(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo& link : byId.entryInfoList(QDir::System | QDir::Files))
        stableNames.insert(link.canonicalFilePath(), link.absoluteFilePath());

    PortList ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        PortDescription port;
        port.path = info.systemLocation();
        port.description = info.description();
        port.stableName = stableNames.value(QFileInfo(port.path).canonicalFilePath());
        // QSerialPortInfo lists a ttyS only when a UART answers behind it.
        port.builtIn = info.portName().startsWith(QLatin1String("ttyS"));
        ports.push_back(std::move(port));
    }
    return ports;
}

namespace {

// A name with its trailing number read as a number, so that ttyS2 comes before ttyS10.
std::pair<QString, qulonglong> naturalKey(const QString& name)
{
    qsizetype digits = name.size();
    while (digits > 0 && name.at(digits - 1).isDigit())
        --digits;
    return {name.left(digits), name.mid(digits).toULongLong()};
}

} // namespace

PortList comPortOrder(PortList ports)
{
    const auto key = [](const PortDescription& port) {
        return naturalKey(port.builtIn || port.stableName.isEmpty() ? port.path : port.stableName);
    };
    std::stable_sort(ports.begin(), ports.end(), [&](const auto& a, const auto& b) {
        if (a.builtIn != b.builtIn)
            return a.builtIn;
        return key(a) < key(b);
    });
    return ports;
}

} // namespace vx37
