#pragma once

// The projector's line for a port name is made as vx37-ctl's: projectorPort() and
// portNameFault(), in the core.
#include "link/any_port_control.h"
#include "link/port_resolver.h"
