#pragma once

// The QSerialPort control lives in link/serial/; this name is kept for code that still
// includes it here.
#include "link/serial/qt_serial_control.h"
