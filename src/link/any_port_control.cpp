#include "link/any_port_control.h"

namespace vx37 {

AnyPortControl::AnyPortControl(QObject* parent) : SerialControl(parent)
{
    for (SerialControl* control :
         {static_cast<SerialControl*>(&serial_), static_cast<SerialControl*>(&network_)}) {
        connect(control, &SerialControl::comm, this, &SerialControl::comm);
        connect(control, &SerialControl::deviceLost, this, &SerialControl::deviceLost);
        connect(control, &SerialControl::allWritten, this, &SerialControl::allWritten);
    }
    connect(&network_, &NetworkSerialControl::connected, this, &AnyPortControl::connected);
    connect(&network_, &NetworkSerialControl::notice, this, &AnyPortControl::notice);
}

void AnyPortControl::setCommPort(int port)
{
    port_ = port;
    serial_.setCommPort(port);
}

bool AnyPortControl::setSettings(const std::string& settings)
{
    return serial_.setSettings(settings) && network_.setSettings(settings);
}

void AnyPortControl::setRetryAdvice(RetryAdvice advice)
{
    advice_ = advice;
    serial_.setRetryAdvice(advice);
    network_.setRetryAdvice(advice);
}

bool AnyPortControl::open()
{
    active().close();
    nameFault_.clear();
    const ResolvedPort resolved = serial_.resolve();
    networkActive_ = resolved.kind == ResolvedPort::Kind::Network;
    if (resolved.kind == ResolvedPort::Kind::Fault) {
        // Nothing is opened: the name itself has to be put right.
        nameFault_ = portNameFaultText(resolved, advice_);
        return false;
    }
    if (!networkActive_)
        return serial_.open(resolved);
    network_.setNetworkPort(resolved.network);
    network_.setCommPort(resolved.number);
    return network_.open();
}

QString AnyPortControl::failureText() const
{
    return nameFault_.isEmpty() ? active().failureText() : nameFault_;
}

bool AnyPortControl::deviceConnected() const
{
    return networkActive_ ? network_.deviceConnected() : serial_.deviceConnected();
}

QString AnyPortControl::devicePath() const
{
    return networkActive_ ? network_.networkPort().name() : serial_.devicePath();
}

const SerialControl& AnyPortControl::active() const
{
    return networkActive_ ? static_cast<const SerialControl&>(network_) : serial_;
}

SerialControl& AnyPortControl::active()
{
    return networkActive_ ? static_cast<SerialControl&>(network_) : serial_;
}

std::unique_ptr<AnyPortControl> projectorPort(const std::string& given, int baud)
{
    auto port = std::make_unique<AnyPortControl>();
    // A command is run again; the daemon tries again by itself, and its log says so.
    port->setRetryAdvice(RetryAdvice::TryAgain);
    port->setSettings(projectorSettings(baud));
    const QString name = QString::fromLocal8Bit(given);
    if (const int number = comNumber(name))
        port->setCommPort(number);
    else
        port->setPortName(name);
    return port;
}

} // namespace vx37
