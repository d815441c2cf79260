#include "link/port_messages.h"

#include "link/port_resolver.h"

#include <QCoreApplication>
#include <QFile>

#ifdef Q_OS_UNIX
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#endif

namespace vx37 {

namespace {

QString serialPorts(int count)
{
    return count == 1 ? QStringLiteral("only one serial port")
                      : QStringLiteral("%1 serial ports").arg(count);
}

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

// The program that says the message, as its user starts it.
QString program()
{
    const QString name = QCoreApplication::applicationName();
    return name.isEmpty() ? QStringLiteral("the program") : name;
}

struct Owner
{
    QString user;
    QString group;
};

// Who owns a device file; the usual serial group of the system ("dialout" on Debian) when
// the file cannot be read.
Owner ownerOf(const QString& path)
{
    Owner owner{QString(), QStringLiteral("dialout")};
#ifdef Q_OS_UNIX
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &info) == 0) {
        if (const passwd* user = ::getpwuid(info.st_uid); user && user->pw_name)
            owner.user = QString::fromLocal8Bit(user->pw_name);
        if (const group* group = ::getgrgid(info.st_gid); group && group->gr_name)
            owner.group = QString::fromLocal8Bit(group->gr_name);
    }
#else
    Q_UNUSED(path);
#endif
    return owner;
}

// Groups that give far more than serial ports: no one should be put in them for a port.
bool isPrivilegedGroup(const QString& group)
{
    return group == QLatin1String("root") || group == QLatin1String("tty") ||
           group == QLatin1String("wheel") || group == QLatin1String("sudo");
}

QString permissionText(const QString& what, const QString& path, const QString& retry)
{
    const Owner owner = ownerOf(path);
    const QString now = QStringLiteral("%1permission denied on %2.\n"
                                       "To use it now: sudo chown $USER %2 (until the device is "
                                       "plugged in again), then %3.")
                            .arg(what, path, retry);
    if (isPrivilegedGroup(owner.group))
        // A pseudo-terminal made by another user, for one: it is that user's to share.
        return now + QStringLiteral(" It belongs to the user %1 and the group %2, which is "
                                    "not meant for sharing ports: run %3 as %1, or make it "
                                    "yours as above.")
                         .arg(owner.user.isEmpty() ? QStringLiteral("root") : owner.user,
                              owner.group, program());
    return now +
           QStringLiteral(" For good: sudo adduser $USER %1, then log in again.").arg(owner.group);
}

// The daemon that owns a projector's line, and the shared line it serves by default.
constexpr QLatin1StringView kDaemon("vx37d");
constexpr QLatin1StringView kSharedLine("127.0.0.1:4353");

// A device in use: by whom, or a lock its holder left behind. When the holder is the
// daemon, the way through it, as a line to copy: for the panel (panelPort, its COM
// number) or for vx37-ctl (0).
QString busyText(const QString& what, const QString& path, const LockHolder& holder, int panelPort,
                 const QString& retry)
{
    if (holder.lockFile.isEmpty())
        return QStringLiteral("%1the device %2 is in use by another program.\n"
                              "Close the other program that uses it, then %3.")
            .arg(what, path, retry);
    const QString who =
        QStringLiteral("%1 (pid %2)")
            .arg(holder.program.isEmpty() ? QStringLiteral("a program") : holder.program)
            .arg(holder.pid);
    if (holder.ended)
        return QStringLiteral("%1the device %2 is locked by %3, which has ended: its lock "
                              "file %4 was left behind.\n"
                              "Remove that file (rm %4, with sudo if it is another user's), "
                              "then %5.")
            .arg(what, path, who, holder.lockFile, retry);
    // A second daemon on the same line is advised to end, as any other program.
    if (holder.program != kDaemon || program() == kDaemon)
        return QStringLiteral("%1the device %2 is in use by %3.\n"
                              "End that program, or let it close the port, then %4.")
            .arg(what, path, who, retry);
    const QString line =
        panelPort != 0 ? QStringLiteral("VX37_COM%1=socket://%2 vx37-panel")
                             .arg(QString::number(panelPort), kSharedLine)
                       : QStringLiteral("vx37-ctl --port socket://%1 COMMAND...").arg(kSharedLine);
    return QStringLiteral("%1the device %2 is in use by %3, which serves the projector's "
                          "line to every program. Go through it:\n"
                          "    %4\n"
                          "(%5 is vx37d's default shared line; its share setting may name "
                          "another.)")
        .arg(what, path, who, line, kSharedLine);
}

QString failureText(OpenFailure failure, int port, const PortChoice& choice, RetryAdvice advice,
                    const QString& detail, const LockHolder& holder)
{
    // Every text ends in advice that works where it is read: in the panel a port choice
    // opens the chosen port again; a command-line program, or a device given by its path,
    // is simply run again.
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
                                  "start %5 again without %3 (adapters are listed under "
                                  "/dev/serial/by-id/).")
                .arg(what, path, choice.variable, retry, program());
        return QStringLiteral("%1the device %2 does not exist.\nConnect it, then %3.")
            .arg(what, path, retry);
    case OpenFailure::PermissionDenied:
        return permissionText(what, path, retry);
    case OpenFailure::Busy:
        return busyText(what, path, holder, advice == RetryAdvice::ChooseThePort ? port : 0, retry);
    case OpenFailure::Other:
        break;
    }
    return QStringLiteral("%1the device %2 could not be opened (%3).\n"
                          "Check the cable and the adapter, then %4.")
        .arg(what, path, detail, retry);
}

} // namespace

QString portText(const ResolvedPort& resolved)
{
    const PortChoice& choice = resolved.choice;
    if (resolved.kind == ResolvedPort::Kind::Network)
        return QStringLiteral("%1 (%2, set by %3)")
            .arg(networkPortDescription(resolved.network), resolved.network.name(),
                 choice.variable);
    if (resolved.kind == ResolvedPort::Kind::Fault)
        return QStringLiteral("%1 (set by %2)").arg(resolved.fault, choice.variable);
    if (!choice.variable.isEmpty())
        return QStringLiteral("%1 (set by %2)").arg(choice.path, choice.variable);
    if (choice.path.isEmpty()) {
        if (choice.portsPresent == 0)
            return QStringLiteral("No serial port is present");
        return QStringLiteral("No COM%1: this computer has %2")
            .arg(resolved.number)
            .arg(serialPorts(choice.portsPresent));
    }
    QString name = choice.port.description;
    if (name.isEmpty() && choice.port.builtIn)
        name = QStringLiteral("built-in serial port");
    return name.isEmpty() ? choice.path : QStringLiteral("%1 \u2014 %2").arg(choice.path, name);
}

QString noPortNameText()
{
    return QStringLiteral("needs COM1, COM2, a device path or a network port");
}

QString notAPortNameText(const QString& name)
{
    return QStringLiteral("%1: COM1 and COM2 stand for devices here; give any other port by "
                          "its device path (for example /dev/ttyUSB0) or as "
                          "socket://HOST:PORT or rfc2217://HOST:PORT")
        .arg(name);
}

QString speedFaultText()
{
    return QStringLiteral("takes 19200 or 9600");
}

QString portNameFaultText(const ResolvedPort& resolved, RetryAdvice advice)
{
    const QString& variable = resolved.choice.variable;
    if (variable.isEmpty())
        return resolved.fault + QLatin1Char('.');
    // Nothing is opened: the variable itself has to be put right.
    return QStringLiteral("COM%1 (set by %2): %3.\nCorrect %2, then %4.")
        .arg(QString::number(resolved.number), variable, resolved.fault,
             advice == RetryAdvice::ChooseThePort ? QStringLiteral("start the panel again")
                                                  : QStringLiteral("try again"));
}

QString openFailureText(OpenFailure failure, int port, const PortChoice& choice, RetryAdvice advice,
                        const QString& detail, const LockHolder& holder)
{
    return sentence(failureText(failure, port, choice, advice, detail, holder));
}

QString deviceLostText(int port, const QString& path)
{
    return sentence(QStringLiteral("%1the device %2 went away.\n"
                                   "Reconnect it: the port is reopened by itself when the "
                                   "device is back.")
                        .arg(subject(port), path));
}

} // namespace vx37
