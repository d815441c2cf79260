#pragma once

#include "link/serial/port_names.h"

#include <QString>

namespace vx37 {

struct ResolvedPort;

// The operator's messages about ports: what a port number stands for, why an opening
// failed and what to do about it, a device that went away. Each message's advice works
// from the program that says it.

// How the operator tries again: by choosing the port in the panel, or by running the
// command again.
enum class RetryAdvice { ChooseThePort, TryAgain };

// What a port stands for, for the operator: the device and its name, the network port,
// or that there is no such port.
QString portText(const ResolvedPort& resolved);

// What is wrong with a port name given, after the option that gave it ("--port "): none,
// or a name that is neither COM1, COM2, a device path nor a network port.
QString noPortNameText();
QString notAPortNameText(const QString& name);
// After the option that gave a line speed the projector does not take.
QString speedFaultText();

// Why a port whose name cannot be read was not opened (ResolvedPort::Kind::Fault), and
// what to do.
QString portNameFaultText(const ResolvedPort& resolved, RetryAdvice advice);

// Why an opening failed, as far as the operator can act on it.
enum class OpenFailure { NoSuchDevice, PermissionDenied, Busy, Other };

// Who holds a device, as its lock file says.
struct LockHolder
{
    QString program; // "vx37-panel"; empty when the file does not say
    qint64 pid = 0;
    QString lockFile;   // empty: no lock found
    bool ended = false; // no such process runs any more: the lock was left behind
};

// The text of the port failure warning: what happened and what to do. Port 0 is a device
// given by its path (no port choice). detail: for Other, the system's own words; holder:
// for Busy, who holds the device.
QString openFailureText(OpenFailure failure, int port, const PortChoice& choice, RetryAdvice advice,
                        const QString& detail = {}, const LockHolder& holder = {});

// The text shown once when an open port's device goes away (port 0: a device given by path).
QString deviceLostText(int port, const QString& path);

} // namespace vx37
