#include "link/serial/qt_serial_control.h"

#include "link/port_messages.h"

#include <QFileInfo>
#include <QLockFile>
#include <QSysInfo>

#include <utility>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vx37 {

namespace {

QSerialPort::Parity toQt(LineSettings::Parity parity)
{
    switch (parity) {
    case LineSettings::Parity::None:
        return QSerialPort::NoParity;
    case LineSettings::Parity::Even:
        return QSerialPort::EvenParity;
    case LineSettings::Parity::Odd:
        return QSerialPort::OddParity;
    case LineSettings::Parity::Mark:
        return QSerialPort::MarkParity;
    case LineSettings::Parity::Space:
        return QSerialPort::SpaceParity;
    }
    return QSerialPort::NoParity;
}

QSerialPort::StopBits toQt(LineSettings::StopBits stopBits)
{
    switch (stopBits) {
    case LineSettings::StopBits::One:
        return QSerialPort::OneStop;
    case LineSettings::StopBits::OneAndHalf:
        return QSerialPort::OneAndHalfStop;
    case LineSettings::StopBits::Two:
        return QSerialPort::TwoStop;
    }
    return QSerialPort::OneStop;
}

// Who holds a device's lock, as the lock file names them. QSerialPort keeps the lock as
// LCK..<the path below /dev, '/' as '_'> in the first of these folders it may write.
LockHolder lockHolder(const QString& path)
{
#ifdef Q_OS_UNIX
    QString name = path;
    if (name.startsWith(QLatin1String("/dev/")))
        name.remove(0, 5);
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    for (const char* folder :
         {"/var/lock", "/etc/locks", "/var/spool/locks", "/var/spool/uucp", "/tmp"}) {
        const QFileInfo place(QString::fromLatin1(folder));
        if (!place.isReadable() || !place.isWritable())
            continue;
        LockHolder holder;
        QString host;
        const QString file = place.filePath() + QLatin1String("/LCK..") + name;
        if (!QLockFile(file).getLockInfo(&holder.pid, &host, &holder.program))
            return {};
        holder.lockFile = file;
        // QSerialPort removes a stale lock itself when it may: one left is another user's.
        holder.ended = holder.pid > 0 && host == QSysInfo::machineHostName() &&
                       ::kill(static_cast<pid_t>(holder.pid), 0) != 0 && errno == ESRCH;
        return holder;
    }
#else
    Q_UNUSED(path);
#endif
    return {};
}

// QSerialPort reports a lock held by another program and a device we may not open with
// the same PermissionError; whether we could open the file ourselves tells them apart.
OpenFailure classify(QSerialPort::SerialPortError error, const QString& path)
{
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return OpenFailure::NoSuchDevice;
    case QSerialPort::OpenError:
        return OpenFailure::Busy;
    case QSerialPort::PermissionError:
#ifdef Q_OS_UNIX
        if (::access(QFile::encodeName(path).constData(), R_OK | W_OK) == 0)
            return OpenFailure::Busy;
#endif
        return OpenFailure::PermissionDenied;
    default:
        break;
    }
    if (!QFileInfo::exists(path))
        return OpenFailure::NoSuchDevice;
    return OpenFailure::Other;
}

// The device file itself: a link (a by-id name, a simulator's link) resolved, so that
// every name of one device opens, and locks, the same file.
QString devicePathOf(const QString& path)
{
    const QString real = QFileInfo(path).canonicalFilePath();
    return real.isEmpty() ? path : real;
}

} // namespace

QtSerialControl::QtSerialControl(QObject* parent) : SerialControl(parent)
{
    retryTimer_.setInterval(kRetryIntervalMs);
    connect(&retryTimer_, &QTimer::timeout, this, &QtSerialControl::retry);
    connect(&device_, &QSerialPort::readyRead, this, [this] {
        commEvent_ = kEventReceive;
        emit comm();
    });
    connect(&device_, &QSerialPort::errorOccurred, this, &QtSerialControl::onError);
    connect(&device_, &QSerialPort::bytesWritten, this, [this] {
        if (device_.bytesToWrite() == 0)
            emit allWritten();
    });
}

QtSerialControl::~QtSerialControl()
{
    // Release the port with the window, without reporting anything.
    retryTimer_.stop();
    device_.disconnect(this);
    device_.close();
}

bool QtSerialControl::setSettings(const std::string& settings)
{
    const auto parsed = parseLineSettings(settings);
    if (!parsed)
        return false;
    settingsText_ = settings;
    lineSettings_ = *parsed;
    if (device_.isOpen())
        applySettings();
    return true;
}

void QtSerialControl::applySettings()
{
    device_.setBaudRate(lineSettings_.baudRate);
    device_.setParity(toQt(lineSettings_.parity));
    device_.setDataBits(static_cast<QSerialPort::DataBits>(lineSettings_.dataBits));
    device_.setStopBits(toQt(lineSettings_.stopBits));
    device_.setFlowControl(QSerialPort::NoFlowControl);
}

PortList QtSerialControl::ports() const
{
    if (!listedAt_.isValid() || listedAt_.hasExpired(kListingReuseMs)) {
        listing_ = lister_();
        listedAt_.start();
    }
    return listing_;
}

ResolvedPort QtSerialControl::resolve() const
{
    return resolvePort(fixedPath_.isEmpty() ? QStringLiteral("COM%1").arg(port_) : fixedPath_,
                       [this] { return ports(); });
}

std::array<QString, 2> QtSerialControl::portDescriptions() const
{
    const PortList present = lister_();
    const PortLister listed = [&present] { return present; };
    return {portText(resolvePort(QStringLiteral("COM1"), listed)),
            portText(resolvePort(QStringLiteral("COM2"), listed))};
}

bool QtSerialControl::openDevice(const QString& path)
{
    // QSerialPort::portName() drops "/dev/": the file is kept here, as opened.
    deviceFile_ = devicePathOf(path);
    device_.setPortName(deviceFile_);
    device_.clearError();
    // Set before opening, the settings go to the line once, as it opens.
    applySettings();
    if (!device_.open(QIODevice::ReadWrite))
        return false;
#ifdef Q_OS_UNIX
    struct stat opened
    {
    };
    deviceId_ = ::fstat(static_cast<int>(device_.handle()), &opened) == 0 ? opened.st_rdev : 0;
#endif
    // What waited on the line before it was opened answers nothing that is sent now.
    device_.clear(QSerialPort::Input);
    openedPath_ = path;
    return true;
}

bool QtSerialControl::open(const ResolvedPort& port)
{
    retryTimer_.stop();
    lossPending_ = false;
    if (device_.isOpen())
        device_.close();
    wanted_ = false;
    if (port.kind == ResolvedPort::Kind::Fault) {
        failureText_ = portNameFaultText(port, advice_);
        return false;
    }
    const PortChoice& chosen = port.choice;
    wanted_ = !chosen.path.isEmpty() && openDevice(chosen.path);
    if (!wanted_) {
        const QString device = devicePathOf(chosen.path);
        const OpenFailure failure =
            chosen.path.isEmpty() ? OpenFailure::NoSuchDevice : classify(device_.error(), device);
        failureText_ =
            openFailureText(failure, port.number, chosen, advice_, device_.errorString(),
                            failure == OpenFailure::Busy ? lockHolder(device) : LockHolder());
        device_.clearError();
        listedAt_.invalidate(); // whatever the operator does next, look again
        return false;
    }
    // A lost adapter is looked for under its stable name: the same adapter comes back as
    // this port, not whatever is listed first by then.
    reopenPath_ = chosen.port.stableName.isEmpty() ? chosen.path : chosen.port.stableName;
    return true;
}

void QtSerialControl::close()
{
    wanted_ = false;
    lossPending_ = false;
    retryTimer_.stop();
    if (device_.isOpen())
        device_.close();
}

void QtSerialControl::output(const std::string& bytes)
{
    if (!device_.isOpen() || bytes.empty())
        return;
    device_.write(bytes.data(), static_cast<qint64>(bytes.size()));
    // Hand the bytes to the device now, so that the frame is on the wire before the TXD
    // line shows it, when the device can take some. When it cannot (a slow line still
    // carrying a long paste), the bytes wait in the queue behind what waits there and go
    // out in order from the event loop: written now, they would meet a full buffer, which
    // QSerialPort reports as a write error. flush() itself never waits.
    if (deviceCanTakeBytes())
        device_.flush();
}

bool QtSerialControl::deviceCanTakeBytes() const
{
#ifdef Q_OS_UNIX
    pollfd line{static_cast<int>(device_.handle()), POLLOUT, 0};
    return ::poll(&line, 1, 0) == 1 && (line.revents & POLLOUT);
#else
    return true;
#endif
}

bool QtSerialControl::deviceGone() const
{
#ifdef Q_OS_UNIX
    // The adapter pulled removes its node; another one plugged in meanwhile may take the
    // same name under another device number.
    struct stat node
    {
    };
    if (::stat(QFile::encodeName(deviceFile_).constData(), &node) != 0 || node.st_rdev != deviceId_)
        return true;
    // A hung-up line (a pseudo-terminal whose other end closed) or a closed descriptor.
    pollfd line{static_cast<int>(device_.handle()), POLLIN, 0};
    return ::poll(&line, 1, 0) == 1 && (line.revents & (POLLHUP | POLLERR | POLLNVAL));
#else
    return !QFileInfo::exists(deviceFile_);
#endif
}

std::string QtSerialControl::input()
{
    // Polled during an outage too: a closed device has nothing, and must not be read.
    if (!device_.isOpen())
        return {};
    const QByteArray waiting = device_.readAll();
    return waiting.toStdString();
}

void QtSerialControl::onError(QSerialPort::SerialPortError error)
{
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError &&
        error != QSerialPort::WriteError)
        return;
    if (!device_.isOpen() || lossPending_)
        return;
    // An error is a loss only when the device really is gone: a line that is merely busy,
    // or a read that found nothing because another program read the same line first,
    // keeps its port and its queue.
    if (!(lossProbe_ ? lossProbe_() : deviceGone())) {
        device_.clearError();
        // After a ResourceError QSerialPort stops reading; this starts it again.
        device_.setReadBufferSize(device_.readBufferSize());
        return;
    }
    // The error comes from inside QSerialPort's own notifier; close from the event loop,
    // and ignore the repeats that arrive until then.
    lossPending_ = true;
    QTimer::singleShot(0, this, &QtSerialControl::handleLoss);
}

void QtSerialControl::handleLoss()
{
    // An open() or close() since the error has already dealt with the device.
    if (!std::exchange(lossPending_, false) || !device_.isOpen())
        return;
    device_.close();
    device_.clearError();
    if (!wanted_)
        return;
    retryTimer_.start();
    emit deviceLost(deviceLostText(fixedPath_.isEmpty() ? port_ : 0, openedPath_));
}

void QtSerialControl::retry()
{
    if (!wanted_) {
        retryTimer_.stop();
        return;
    }
    if (openDevice(reopenPath_))
        retryTimer_.stop();
    device_.clearError();
}

} // namespace vx37
