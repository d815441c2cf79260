#pragma once

#include "link/serial/port_names.h"

#include <QString>

namespace vx37 {

// The operator's messages about ports: what a port number stands for, why an opening
// failed and what to do about it, a device that went away. Each message's advice works
// from the program that says it.

// What the port number stands for, for the operator: the device and its name, or that
// there is no such port.
QString portChoiceText(int port, const PortChoice& choice);

// Why an opening failed, as far as the operator can act on it.
enum class OpenFailure { NoSuchDevice, PermissionDenied, Busy, Other };

// How the operator tries again: by choosing the port in the panel, or by running the
// command again.
enum class RetryAdvice { ChooseThePort, TryAgain };

// The text of the port failure warning: what happened and what to do. Port 0 is a device
// given by its path (no port choice). detail: for Busy, who holds the device
// ("vx37-panel (pid 1234)", empty when unknown); for Other, the system's own words.
QString openFailureText(OpenFailure failure, int port, const PortChoice& choice,
                        const QString& detail = {},
                        RetryAdvice advice = RetryAdvice::ChooseThePort);

// The text shown once when an open port's device goes away (port 0: a device given by path).
QString deviceLostText(int port, const QString& path);

} // namespace vx37
