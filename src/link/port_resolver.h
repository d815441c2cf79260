#pragma once

#include "link/network/network_port.h"
#include "link/serial/port_names.h"

#include <QString>

#include <optional>
#include <string>
#include <string_view>

namespace vx37 {

// What a port name given by the operator stands for: COM1 or COM2 (either case) through
// VX37_COM1, VX37_COM2 or the ports present (port_names.h), a device path, or a serial
// device server's port (network_port.h). The panel, vx37-ctl and vx37d all resolve here.
struct ResolvedPort
{
    enum class Kind { Device, Network, Fault };

    Kind kind = Kind::Device;
    int number = 0;      // the COM number given, 0 for a name given
    PortChoice choice;   // the name it stands for (a device path, or the network port as
                         // written), and the variable that set it; empty path: no such port
    NetworkPort network; // Network: the port read from the name
    QString fault;       // Fault: what is wrong with the name (port_messages.h words it)
};

// 1 for COM1, 2 for COM2, 0 for any other name.
int comNumber(QStringView name);

// What is wrong with a port name as written, before anything is looked up; empty when it
// can be opened.
QString portNameFault(const QString& given);

// What a port name stands for now. `present` is asked only for a COM number that no
// variable sets.
ResolvedPort resolvePort(const QString& given, const PortLister& present = presentPorts);

// The speed a line speed option gives, when the projector takes it (19200 or 9600).
std::optional<int> projectorSpeed(std::string_view given);

// The projector's line at a speed: "19200,N,8,1".
std::string projectorSettings(int baud);

} // namespace vx37
