#include "link/port_names.h"

#include <QtGlobal>

#ifdef Q_OS_UNIX
#include <grp.h>
#include <sys/stat.h>
#endif

namespace vx37 {

QString deviceVariable(int port)
{
    return QStringLiteral("VX37_COM%1").arg(port);
}

QString devicePathFor(int port)
{
    const QString chosen = qEnvironmentVariable(deviceVariable(port).toLatin1().constData());
    if (!chosen.isEmpty())
        return chosen;
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(port);
#else
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
#endif
}

QString serialAccessGroup(const QString& path)
{
#ifdef Q_OS_UNIX
    struct stat info {};
    if (::stat(path.toLocal8Bit().constData(), &info) == 0) {
        if (const group* owner = ::getgrgid(info.st_gid); owner && owner->gr_name)
            return QString::fromLocal8Bit(owner->gr_name);
    }
#else
    Q_UNUSED(path);
#endif
    return QStringLiteral("dialout");
}

QString openFailureText(OpenFailure failure, int port, const QString& path, const QString& detail)
{
    switch (failure) {
    case OpenFailure::NoSuchDevice:
#ifdef Q_OS_WIN
        return QStringLiteral("COM%1: the device %2 does not exist.\n"
                              "Connect the serial adapter, or set %3 to the port's name "
                              "(for example %3=COM5) and start the panel again.")
#else
        return QStringLiteral("COM%1: the device %2 does not exist.\n"
                              "Connect the serial adapter, or set %3 to the device path "
                              "(a USB adapter is listed under /dev/serial/by-id/, for "
                              "example %3=/dev/ttyUSB0) and start the panel again.")
#endif
            .arg(port)
            .arg(path, deviceVariable(port));
    case OpenFailure::PermissionDenied: {
        const QString group = serialAccessGroup(path);
        return QStringLiteral("COM%1: permission denied on %2.\n"
                              "Add your user to the group \"%3\" (sudo adduser $USER %3), "
                              "log in again, and choose the port again.")
            .arg(port)
            .arg(path, group);
    }
    case OpenFailure::Busy:
        return QStringLiteral("COM%1: the device %2 is busy or locked by another program.\n"
                              "Close the other program that uses it, then choose the port "
                              "again.")
            .arg(port)
            .arg(path);
    case OpenFailure::Other:
        break;
    }
    return QStringLiteral("COM%1: the device %2 could not be opened (%3).\n"
                          "Check the cable and the adapter, then choose the port again.")
        .arg(port)
        .arg(path, detail);
}

QString deviceLostText(int port, const QString& path)
{
    return QStringLiteral("COM%1: the device %2 went away.\n"
                          "Reconnect it: the panel reopens the port by itself when the "
                          "device is back.")
        .arg(port)
        .arg(path);
}

} // namespace vx37
