#include "link/network_serial_control.h"

#include <algorithm>

namespace vx37 {

NetworkSerialControl::NetworkSerialControl(QObject* parent) : SerialControl(parent)
{
    connectTimer_.setSingleShot(true);
    connectTimer_.setInterval(kNetworkConnectTimeoutMs);
    connect(&connectTimer_, &QTimer::timeout, this, [this] {
        if (!tcpUp_)
            return fail(NetworkFailure::TimedOut);
        if (speedAnswerAwaited_ > 0)
            return; // the server took the option; the wait for its speed has its own bound
        // A Telnet server that never answers the COM-PORT-OPTION carries the line all
        // the same, at its own settings.
        noticeSpeedNotSet();
        lineUp();
    });
    speedTimer_.setSingleShot(true);
    speedTimer_.setInterval(kSpeedAnswerMs);
    // A server that never answers the speed carries the line all the same.
    connect(&speedTimer_, &QTimer::timeout, this, &NetworkSerialControl::speedSet);
    retryTimer_.setSingleShot(true);
    connect(&retryTimer_, &QTimer::timeout, this, &NetworkSerialControl::connectNow);
    connect(&socket_, &QTcpSocket::connected, this, &NetworkSerialControl::onConnected);
    connect(&socket_, &QTcpSocket::readyRead, this, &NetworkSerialControl::onReadyRead);
    connect(&socket_, &QTcpSocket::errorOccurred, this, &NetworkSerialControl::onError);
    connect(&socket_, &QTcpSocket::bytesWritten, this, [this] {
        if (socket_.bytesToWrite() == 0)
            emit allWritten();
    });
}

NetworkSerialControl::~NetworkSerialControl()
{
    // Released with the window, without reporting anything.
    socket_.disconnect(this);
    socket_.abort();
}

bool NetworkSerialControl::setSettings(const std::string& settings)
{
    const auto parsed = parseLineSettings(settings);
    if (!parsed)
        return false;
    settingsText_ = settings;
    lineSettings_ = *parsed;
    if (lineUp_ && telnet() && codec_.comPort() == TelnetCodec::ComPort::Accepted)
        sendLineSettings();
    return true;
}

bool NetworkSerialControl::open()
{
    close();
    wanted_ = true;
    reported_ = false;
    speedNoticed_ = false;
    nextRetryMs_ = kFirstRetryMs;
    connectNow();
    return true;
}

void NetworkSerialControl::close()
{
    wanted_ = false;
    retryTimer_.stop();
    drop();
    inbox_.clear();
}

void NetworkSerialControl::drop()
{
    connectTimer_.stop();
    speedTimer_.stop();
    socket_.abort();
    tcpUp_ = false;
    lineUp_ = false;
    speedAnswerAwaited_ = 0;
    held_.clear();
}

void NetworkSerialControl::connectNow()
{
    drop();
    codec_ = TelnetCodec();
    // The look-up of a name runs on a thread of Qt's own; neither it nor the connection
    // is waited for here.
    socket_.connectToHost(where_.host, where_.port);
    connectTimer_.start();
}

void NetworkSerialControl::onConnected()
{
    tcpUp_ = true;
    // A frame is a few bytes that must not wait for more to join them.
    socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    // Over Telnet the line is up once the server has answered the COM-PORT-OPTION, so that
    // no frame goes out before the line settings; the connect time-out goes on meanwhile.
    if (telnet())
        write(codec_.start());
    else
        lineUp();
}

void NetworkSerialControl::lineUp()
{
    connectTimer_.stop();
    lineUp_ = true;
    reported_ = false; // the next failure is a new one
    nextRetryMs_ = kFirstRetryMs;
    emit connected();
}

void NetworkSerialControl::noticeSpeedNotSet()
{
    if (!std::exchange(speedNoticed_, true))
        tell(&NetworkSerialControl::notice, speedNotSetText(where_, settingsText_));
}

void NetworkSerialControl::sendLineSettings()
{
    write(TelnetCodec::lineSettings(lineSettings_));
    speedAnswerAwaited_ = codec_.baudRateAnswers() + 1;
    speedTimer_.start();
}

void NetworkSerialControl::speedSet()
{
    speedTimer_.stop();
    speedAnswerAwaited_ = 0;
    if (!lineUp_)
        lineUp();
    write(std::exchange(held_, {}));
}

void NetworkSerialControl::onReadyRead()
{
    const QByteArray bytes = socket_.readAll();
    if (!telnet()) {
        inbox_ += bytes;
    } else {
        const bool answered = codec_.comPort() != TelnetCodec::ComPort::Asked;
        QByteArray answers;
        inbox_ += codec_.receive(bytes, answers);
        write(answers);
        if (!answered && codec_.comPort() == TelnetCodec::ComPort::Accepted)
            sendLineSettings(); // the line is up once the server has set the speed
        if (!answered && codec_.comPort() == TelnetCodec::ComPort::Refused) {
            noticeSpeedNotSet();
            lineUp();
        }
        if (speedAnswerAwaited_ > 0 && codec_.baudRateAnswers() >= speedAnswerAwaited_)
            speedSet();
    }
    if (!inbox_.isEmpty()) {
        commEvent_ = kEventReceive;
        emit comm();
    }
}

void NetworkSerialControl::onError(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::HostNotFoundError:
        return fail(NetworkFailure::NameNotFound);
    case QAbstractSocket::ConnectionRefusedError:
        return fail(NetworkFailure::Refused);
    case QAbstractSocket::SocketTimeoutError:
        return fail(NetworkFailure::TimedOut);
    case QAbstractSocket::RemoteHostClosedError:
        return fail(NetworkFailure::Closed);
    default:
        // Anything else (a reset, an unreachable network) ends a connection that was up
        // as a close, and one being made as a far end out of reach.
        return fail(tcpUp_ ? NetworkFailure::Closed : NetworkFailure::Unreachable);
    }
}

void NetworkSerialControl::fail(NetworkFailure failure)
{
    drop();
    if (!wanted_)
        return;
    retryTimer_.start(nextRetryMs_);
    nextRetryMs_ = std::min(nextRetryMs_ * 2, kLongestRetryMs);
    if (!std::exchange(reported_, true))
        tell(&SerialControl::deviceLost, networkFailureText(failure, port_, where_, advice_));
}

void NetworkSerialControl::tell(void (NetworkSerialControl::*signal)(const QString&),
                                const QString& text)
{
    // Told from the event loop, never from within the socket's own signals: a warning box
    // runs a loop of its own, in which the retry may connect the socket again, and the
    // socket would go on with the old connection's ending once the box is closed.
    QMetaObject::invokeMethod(
        this,
        [this, signal, text] {
            if (wanted_)
                emit(this->*signal)(text);
        },
        Qt::QueuedConnection);
}

void NetworkSerialControl::write(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return;
    socket_.write(bytes);
    // Handed to the kernel now rather than when the event loop next runs; what it does
    // not take at once waits in the socket's buffer and follows in order.
    socket_.flush();
}

void NetworkSerialControl::output(const std::string& bytes)
{
    if (!lineUp_)
        return;
    const QByteArrayView data(bytes.data(), static_cast<qsizetype>(bytes.size()));
    if (!telnet())
        write(data.toByteArray());
    else if (speedAnswerAwaited_ > 0)
        held_ += TelnetCodec::escape(data);
    else
        write(TelnetCodec::escape(data));
}

std::string NetworkSerialControl::input()
{
    return std::exchange(inbox_, {}).toStdString();
}

std::array<QString, 2> NetworkSerialControl::portDescriptions() const
{
    // Whichever number it has, it stands for its one network port.
    const QString description = networkPortDescription(where_);
    return {description, description};
}

} // namespace vx37
