#pragma once

#include <QString>

#include <functional>
#include <vector>

namespace vx37 {

// What the port numbers stand for. On Linux COM n is the n-th serial port present, in the
// order a technician knows from Windows: the machine's own UARTs first, by number, then
// USB and CDC adapters by their stable /dev/serial/by-id/ name, so an adapter keeps its
// number whatever order things were plugged in. On Windows COM n is COMn. VX37_COM1 and
// VX37_COM2 override either with any device path. Resolved at every opening
// (port_resolver.h), so an adapter plugged in after start-up is found.

// One serial port as the system lists it.
struct PortDescription
{
    QString path;        // /dev/ttyUSB0
    QString description; // FT232R USB UART
    QString stableName;  // /dev/serial/by-id/usb-…-port0, or empty
    bool builtIn = false;
};
using PortList = std::vector<PortDescription>;
// The serial ports present now; tests offer their own.
using PortLister = std::function<PortList()>;

// The serial ports present, as QSerialPortInfo lists them, with their stable names.
PortList presentPorts();

// The ports in COM order: built-in ports by number, then adapters by stable name.
PortList comPortOrder(PortList ports);

// What a port number stands for right now: a device, or the name a variable gives.
struct PortChoice
{
    QString path;     // the device to open; empty when there is no such port
    QString variable; // the variable that chose it (VX37_COM1), or empty
    PortDescription port;
    int portsPresent = 0;
};

} // namespace vx37
