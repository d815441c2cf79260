#pragma once

// The projector's line for a port name, in one place: COM1 or COM2 as the panel resolves
// them (VX37_COM1, VX37_COM2), a device path, or a serial device server's port
// (socket://HOST:PORT, rfc2217://HOST:PORT), as vx37-ctl --port takes them.

#include "link/any_port_control.h"

#include <memory>
#include <string>

namespace vx37 {

// What is wrong with a port name, or empty.
std::string portNameFault(const std::string& name);

// A closed serial control for the name, at the speed, 8 data bits, no parity, 1 stop bit.
std::unique_ptr<AnyPortControl> projectorPort(const std::string& name, int baud);

} // namespace vx37
