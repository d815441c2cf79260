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
    const QString variable = fixedName_.isEmpty() ? deviceVariable(port_) : QString();
    const QString name =
        fixedName_.isEmpty() ? qEnvironmentVariable(variable.toLatin1().constData()) : fixedName_;
    networkActive_ = isNetworkPortName(name);
    if (!networkActive_) {
        serial_.setDevicePath(fixedName_);
        return serial_.open();
    }
    const ParsedNetworkPort parsed = parseNetworkPort(name);
    if (!parsed.port) {
        // Nothing is opened: the name itself has to be put right.
        const bool panel = advice_ == RetryAdvice::ChooseThePort;
        nameFault_ = variable.isEmpty()
                         ? parsed.error + QLatin1Char('.')
                         : QStringLiteral("COM%1 (set by %2): %3.\nCorrect %2, then %4.")
                               .arg(port_)
                               .arg(variable, parsed.error,
                                    panel ? QStringLiteral("start the panel again")
                                          : QStringLiteral("try again"));
        return false;
    }
    network_.setNetworkPort(*parsed.port);
    network_.setCommPort(fixedName_.isEmpty() ? port_ : 0);
    return network_.open();
}

QString AnyPortControl::failureText() const
{
    return nameFault_.isEmpty() ? active().failureText() : nameFault_;
}

std::array<QString, 2> AnyPortControl::portDescriptions() const
{
    std::array<QString, 2> descriptions = serial_.portDescriptions();
    for (const int port : {1, 2}) {
        const QString variable = deviceVariable(port);
        const QString name = qEnvironmentVariable(variable.toLatin1().constData());
        if (!isNetworkPortName(name))
            continue;
        const ParsedNetworkPort parsed = parseNetworkPort(name);
        descriptions[port - 1] =
            parsed.port
                ? QStringLiteral("%1 (%2, set by %3)")
                      .arg(networkPortDescription(*parsed.port), parsed.port->name(), variable)
                : QStringLiteral("%1 (set by %2)").arg(parsed.error, variable);
    }
    return descriptions;
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

} // namespace vx37
