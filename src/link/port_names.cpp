#include "link/port_names.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSerialPortInfo>

#include <algorithm>
#include <utility>

#ifdef Q_OS_UNIX
#include <grp.h>
#include <sys/stat.h>
#endif

namespace vx37 {

PortList presentPorts()
{
    // The stable names are links to the devices: /dev/serial/by-id/usb-…-port0 -> ../../ttyUSB0.
    QHash<QString, QString> stableNames;
    const QDir byId(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo& link : byId.entryInfoList(QDir::System | QDir::Files))
        stableNames.insert(link.canonicalFilePath(), link.absoluteFilePath());

    PortList ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        PortDescription port;
        port.path = info.systemLocation();
        port.description = info.description();
        port.stableName = stableNames.value(QFileInfo(port.path).canonicalFilePath());
        // QSerialPortInfo lists a ttyS only when a UART answers behind it.
        port.builtIn = info.portName().startsWith(QLatin1String("ttyS"));
        ports.push_back(std::move(port));
    }
    return ports;
}

namespace {

QString serialPorts(int count)
{
    return count == 1 ? QStringLiteral("only one serial port")
                      : QStringLiteral("%1 serial ports").arg(count);
}

// A name with its trailing number read as a number, so that ttyS2 comes before ttyS10.
std::pair<QString, qulonglong> naturalKey(const QString& name)
{
    qsizetype digits = name.size();
    while (digits > 0 && name.at(digits - 1).isDigit())
        --digits;
    return {name.left(digits), name.mid(digits).toULongLong()};
}

} // namespace

PortList comPortOrder(PortList ports)
{
    const auto key = [](const PortDescription& port) {
        return naturalKey(port.builtIn || port.stableName.isEmpty() ? port.path : port.stableName);
    };
    std::stable_sort(ports.begin(), ports.end(), [&](const auto& a, const auto& b) {
        if (a.builtIn != b.builtIn)
            return a.builtIn;
        return key(a) < key(b);
    });
    return ports;
}

QString deviceVariable(int port)
{
    return QStringLiteral("VX37_COM%1").arg(port);
}

PortChoice choosePort(int port, const PortLister& present)
{
    PortChoice choice;
    const QString variable = deviceVariable(port);
    choice.path = qEnvironmentVariable(variable.toLatin1().constData());
    if (!choice.path.isEmpty()) {
        choice.variable = variable;
        return choice;
    }
#ifdef Q_OS_WIN
    Q_UNUSED(present);
    choice.path = QStringLiteral("COM%1").arg(port);
#else
    const PortList ordered = comPortOrder(present());
    choice.portsPresent = static_cast<int>(ordered.size());
    if (port >= 1 && port <= choice.portsPresent) {
        choice.port = ordered[static_cast<std::size_t>(port - 1)];
        choice.path = choice.port.path;
    }
#endif
    return choice;
}

QString portChoiceText(int port, const PortChoice& choice)
{
    if (!choice.variable.isEmpty())
        return QStringLiteral("%1 (set by %2)").arg(choice.path, choice.variable);
    if (choice.path.isEmpty()) {
        if (choice.portsPresent == 0)
            return QStringLiteral("No serial port is present");
        return QStringLiteral("No COM%1: this computer has %2")
            .arg(port)
            .arg(serialPorts(choice.portsPresent));
    }
    QString name = choice.port.description;
    if (name.isEmpty() && choice.port.builtIn)
        name = QStringLiteral("built-in serial port");
    return name.isEmpty() ? choice.path : QStringLiteral("%1 \u2014 %2").arg(choice.path, name);
}

QString serialAccessGroup(const QString& path)
{
#ifdef Q_OS_UNIX
    struct stat info
    {
    };
    if (::stat(path.toLocal8Bit().constData(), &info) == 0) {
        if (const group* owner = ::getgrgid(info.st_gid); owner && owner->gr_name)
            return QString::fromLocal8Bit(owner->gr_name);
    }
#else
    Q_UNUSED(path);
#endif
    return QStringLiteral("dialout");
}

namespace {

// "COM1: " before a text about a port number; nothing for a device given by its path.
QString subject(int port)
{
    return port == 0 ? QString() : QStringLiteral("COM%1: ").arg(port);
}

// A text that begins without a port number begins as a sentence.
QString sentence(QString text)
{
    if (!text.isEmpty())
        text[0] = text[0].toUpper();
    return text;
}

QString failureText(OpenFailure failure, int port, const PortChoice& choice, const QString& detail,
                    RetryAdvice advice)
{
    // Every text ends in advice that works while the panel runs: a port choice opens the
    // chosen port again. A command-line program, or a device given by its path, is
    // simply run again.
    const QString com = QStringLiteral("COM%1").arg(port);
    const QString what = subject(port);
    const bool choose = advice == RetryAdvice::ChooseThePort && port != 0;
    const QString retry = choose ? QStringLiteral("choose %1 again in the \"COM\" frame").arg(com)
                                 : QStringLiteral("try again");
    const QString& path = choice.path;

    switch (failure) {
    case OpenFailure::NoSuchDevice:
        if (path.isEmpty() && choice.portsPresent == 0)
            return QStringLiteral("No serial port is present on this computer.\n"
                                  "Plug the serial adapter in, then %1.")
                .arg(choose ? QStringLiteral("choose %1 in the \"COM\" frame").arg(com) : retry);
        if (path.isEmpty())
            return QStringLiteral("%1this computer has %2, so there is no %3.\n"
                                  "Plug in another adapter, then %4; or %5 COM1.")
                .arg(what, serialPorts(choice.portsPresent), com, retry,
                     choose ? QStringLiteral("choose") : QStringLiteral("use"));
        if (!choice.variable.isEmpty())
            return QStringLiteral("%1the device %2 (set by %3) does not exist.\n"
                                  "Connect it, then %4. To use the ports present instead, "
                                  "start the panel without %3 (adapters are listed under "
                                  "/dev/serial/by-id/).")
                .arg(what, path, choice.variable, retry);
        return QStringLiteral("%1the device %2 does not exist.\nConnect it, then %3.")
            .arg(what, path, retry);
    case OpenFailure::PermissionDenied:
        return QStringLiteral("%1permission denied on %2.\n"
                              "To use it now: sudo chown $USER %2 (until the device is "
                              "plugged in again), then %3. For good: sudo adduser $USER %4, "
                              "then log in again.")
            .arg(what, path, retry, serialAccessGroup(path));
    case OpenFailure::Busy:
        return QStringLiteral("%1the device %2 is busy or locked by another program.\n"
                              "Close the other program that uses it, then %3.")
            .arg(what, path, retry);
    case OpenFailure::Other:
        break;
    }
    return QStringLiteral("%1the device %2 could not be opened (%3).\n"
                          "Check the cable and the adapter, then %4.")
        .arg(what, path, detail, retry);
}

} // namespace

QString openFailureText(OpenFailure failure, int port, const PortChoice& choice,
                        const QString& detail, RetryAdvice advice)
{
    return sentence(failureText(failure, port, choice, detail, advice));
}

QString deviceLostText(int port, const QString& path, RetryAdvice advice)
{
    // The panel reopens the port by itself; a command is run again.
    return sentence(QStringLiteral("%1the device %2 went away.\n%3")
                        .arg(subject(port), path,
                             advice == RetryAdvice::ChooseThePort
                                 ? QStringLiteral("Reconnect it: the port is reopened by itself "
                                                  "when the device is back.")
                                 : QStringLiteral("Reconnect it, then try again.")));
}

} // namespace vx37
