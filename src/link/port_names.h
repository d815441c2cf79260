#pragma once

#include <QString>

namespace vx37 {

// The environment variable that chooses the device of a port number: VX37_COM1, VX37_COM2.
QString deviceVariable(int port);

// The device a port number stands for: the variable's value when it is set and not
// empty, else COMn on Windows and /dev/ttyS(n-1) elsewhere.
QString devicePathFor(int port);

// Why an opening failed, as far as the operator can act on it.
enum class OpenFailure { NoSuchDevice, PermissionDenied, Busy, Other };

// The text of the port failure warning: what happened and what to do.
QString openFailureText(OpenFailure failure, int port, const QString& path,
                        const QString& detail = {});

// The text shown once when an open port's device goes away.
QString deviceLostText(int port, const QString& path);

// The group that may open a serial device here: the device's own group when it can be
// read, else the usual serial group of the system ("dialout" on Debian).
QString serialAccessGroup(const QString& path);

} // namespace vx37
