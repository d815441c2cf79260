#include "link/network/network_serial_control.h"

#include <algorithm>

#ifdef Q_OS_LINUX
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

namespace vx37 {

namespace {

// A device server that lost its power sends nothing, not even a reset: without probes an
// idle connection would look up for ever. Probes after 10 s of silence, every 5 s, three
// unanswered end it; data not acknowledged for 25 s ends it too. Found within 30 s.
void keepAlive(QTcpSocket& socket)
{
    socket.setSocketOption(QAbstractSocket::KeepAliveOption, 1);
#ifdef Q_OS_LINUX
    const auto descriptor = static_cast<int>(socket.socketDescriptor());
    const auto set = [descriptor](int option, int value) {
        ::setsockopt(descriptor, IPPROTO_TCP, option, &value, sizeof value);
    };
    set(TCP_KEEPIDLE, 10);
    set(TCP_KEEPINTVL, 5);
    set(TCP_KEEPCNT, 3);
    set(TCP_USER_TIMEOUT, 25000);
#endif
}

} // namespace

NetworkSerialControl::NetworkSerialControl(QObject* parent) : SerialControl(parent)
{
    for (QTimer* timer : {&lookUpTimer_, &connectTimer_, &stallTimer_})
        timer->setSingleShot(true);
    setBounds({});
    connect(&lookUpTimer_, &QTimer::timeout, this,
            [this] { fail(NetworkFailure::LookUpTimedOut); });
    connect(&stallTimer_, &QTimer::timeout, this, [this] { fail(NetworkFailure::Stalled); });
    connect(&connectTimer_, &QTimer::timeout, this, [this] {
        if (!tcpUp_)
            return tryFailed(NetworkFailure::TimedOut);
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
    connect(&socket_, &QTcpSocket::bytesWritten, this, &NetworkSerialControl::onBytesWritten);
}

NetworkSerialControl::~NetworkSerialControl()
{
    // Released with the window, without reporting anything.
    socket_.disconnect(this);
    socket_.abort();
}

void NetworkSerialControl::setBounds(const Bounds& bounds)
{
    bounds_ = bounds;
    lookUpTimer_.setInterval(bounds.lookUpMs);
    connectTimer_.setInterval(bounds.connectMs);
    stallTimer_.setInterval(bounds.stallMs);
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
    // The same port at the same settings, closed a moment ago: its connection goes on.
    if (!wanted_ && trying_ && where_ == connectingTo_ && settingsText_ == openedSettings_) {
        wanted_ = true;
        if (lineUp_)
            later(&NetworkSerialControl::connected);
        return true;
    }
    retryTimer_.stop();
    inbox_.clear();
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
    inbox_.clear();
    // Let go at the next pass, unless opened again by then.
    QMetaObject::invokeMethod(
        this,
        [this, generation = generation_] {
            if (!wanted_ && generation == generation_)
                drop();
        },
        Qt::QueuedConnection);
}

void NetworkSerialControl::drop()
{
    ++generation_;
    lookUp_.reset();
    for (QTimer* timer : {&lookUpTimer_, &connectTimer_, &speedTimer_, &stallTimer_})
        timer->stop();
    socket_.abort();
    trying_ = false;
    tcpUp_ = false;
    lineUp_ = false;
    speedAnswerAwaited_ = 0;
    held_.clear();
    sentData_ = false;
    heard_ = false;
    greeting_.clear();
    greetingCut_ = false;
}

void NetworkSerialControl::connectNow()
{
    drop();
    codec_ = TelnetCodec();
    trying_ = true;
    connectingTo_ = where_;
    openedSettings_ = settingsText_;
    addresses_.clear();
    nextAddress_ = 0;
    if (const QHostAddress address(where_.host); !address.isNull()) {
        addresses_.append(address);
        return later(&NetworkSerialControl::connectToNext);
    }
    // On a thread of its own, bounded here: a name server that never answers is told
    // apart from a device server that does not.
    lookUp_ = std::make_unique<HostLookup>(
        where_.host, this,
        [this, generation = generation_](const HostLookup::Addresses& found) {
            if (generation != generation_)
                return;
            lookUp_.reset();
            lookUpTimer_.stop();
            if (found.isEmpty())
                return fail(NetworkFailure::NameNotFound);
            addresses_ = found;
            connectToNext();
        },
        resolver_);
    lookUpTimer_.start();
}

void NetworkSerialControl::connectToNext()
{
    // Each address in turn, each with its own time-out: an IPv6 address that drops
    // everything leaves the IPv4 one its chance.
    socket_.abort();
    socket_.connectToHost(addresses_.at(nextAddress_++), where_.port);
    connectTimer_.start();
}

void NetworkSerialControl::tryFailed(NetworkFailure failure)
{
    if (tcpUp_ || nextAddress_ >= addresses_.size())
        return fail(failure);
    connectTimer_.stop();
    // From the event loop: the socket may be within its own signal.
    later(&NetworkSerialControl::connectToNext);
}

void NetworkSerialControl::later(void (NetworkSerialControl::*step)())
{
    QMetaObject::invokeMethod(
        this,
        [this, step, generation = generation_] {
            if (wanted_ && generation == generation_)
                (this->*step)();
        },
        Qt::QueuedConnection);
}

void NetworkSerialControl::onConnected()
{
    tcpUp_ = true;
    // A frame is a few bytes that must not wait for more to join them.
    socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    keepAlive(socket_);
    // Over Telnet the line is up once the server has answered the COM-PORT-OPTION, so that
    // no frame goes out before the line settings; the server gets its own time to answer.
    if (telnet()) {
        connectTimer_.start();
        write(codec_.start());
    } else {
        lineUp();
    }
}

void NetworkSerialControl::lineUp()
{
    connectTimer_.stop();
    lineUp_ = true;
    reported_ = false; // the next failure is a new one
    nextRetryMs_ = kFirstRetryMs;
    if (wanted_)
        emit connected();
}

void NetworkSerialControl::noticeSpeedNotSet()
{
    const bool answered = codec_.comPort() != TelnetCodec::ComPort::Asked;
    if (!std::exchange(speedNoticed_, true))
        tell(&NetworkSerialControl::notice, speedNotSetText(where_, settingsText_, answered));
}

void NetworkSerialControl::sendLineSettings()
{
    const quint64 generation = generation_;
    write(TelnetCodec::lineSettings(lineSettings_));
    if (generation != generation_)
        return; // the write ended the connection
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
    const quint64 generation = generation_;
    const QByteArray bytes = socket_.readAll();
    QByteArray data = bytes;
    if (telnet()) {
        const bool answered = codec_.comPort() != TelnetCodec::ComPort::Asked;
        QByteArray answers;
        data = codec_.receive(bytes, answers);
        write(answers);
        if (generation != generation_)
            return; // the write ended the connection: nothing of it goes on
        if (!answered && codec_.comPort() == TelnetCodec::ComPort::Accepted)
            sendLineSettings(); // the line is up once the server has set the speed
        if (!answered && codec_.comPort() == TelnetCodec::ComPort::Refused) {
            noticeSpeedNotSet();
            lineUp();
        }
        if (generation == generation_ && speedAnswerAwaited_ > 0 &&
            codec_.baudRateAnswers() >= speedAnswerAwaited_)
            speedSet();
        if (generation != generation_)
            return;
    }
    if (data.isEmpty())
        return;
    // What a server says before it is sent anything may be why it turns the client away.
    if (!heard_ && !sentData_) {
        greeting_ += data.left(kMostGreetingBytes - greeting_.size());
        greetingCut_ = greetingCut_ || greeting_.size() >= kMostGreetingBytes;
    } else {
        heard_ = true;
    }
    if (!wanted_)
        return; // closed: the line's data is dropped, as on a closed serial port
    inbox_ += data;
    commEvent_ = kEventReceive;
    emit comm();
}

void NetworkSerialControl::onError(QAbstractSocket::SocketError error)
{
    if (tcpUp_ && !heard_ && !greeting_.isEmpty())
        return fail(NetworkFailure::Turned, serverWords(greeting_, greetingCut_));
    switch (error) {
    case QAbstractSocket::HostNotFoundError:
        return fail(NetworkFailure::NameNotFound);
    case QAbstractSocket::ConnectionRefusedError:
        return tryFailed(NetworkFailure::Refused);
    case QAbstractSocket::SocketTimeoutError:
        // Once up: the probes of a connection gone quiet went unanswered.
        return tcpUp_ ? fail(NetworkFailure::Stalled) : tryFailed(NetworkFailure::TimedOut);
    case QAbstractSocket::RemoteHostClosedError:
        return fail(NetworkFailure::Closed);
    default:
        // Anything else (a reset, an unreachable network) ends a connection that was up
        // as a close, and one being made as a far end out of reach.
        return tcpUp_ ? fail(NetworkFailure::Closed) : tryFailed(NetworkFailure::Unreachable);
    }
}

void NetworkSerialControl::fail(NetworkFailure failure, const QString& words)
{
    drop();
    if (!wanted_)
        return;
    retryTimer_.start(nextRetryMs_);
    nextRetryMs_ = std::min(nextRetryMs_ * 2, kLongestRetryMs);
    if (!std::exchange(reported_, true))
        tell(&SerialControl::deviceLost,
             networkFailureText(failure, port_, where_, advice_, words));
}

void NetworkSerialControl::tell(void (NetworkSerialControl::*signal)(const QString&),
                                const QString& text)
{
    // Told from the event loop, never from within the socket's own signals: a warning box
    // runs a loop of its own, in which the retry may connect the socket again, and the
    // socket would go on with the old connection's ending once the box is closed. Only
    // about the connection it was said of: a close() and open() since make it old news.
    QMetaObject::invokeMethod(
        this,
        [this, signal, text, generation = generation_] {
            if (wanted_ && generation == generation_)
                emit(this->*signal)(text);
        },
        Qt::QueuedConnection);
}

void NetworkSerialControl::write(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return;
    if (socket_.bytesToWrite() + bytes.size() > bounds_.mostWaitingBytes)
        return fail(NetworkFailure::Stalled);
    socket_.write(bytes);
    // Handed to the kernel now rather than when the event loop next runs; what it does
    // not take at once waits in the socket's buffer and follows in order.
    socket_.flush();
    if (socket_.bytesToWrite() > 0 && !stallTimer_.isActive())
        stallTimer_.start();
}

void NetworkSerialControl::onBytesWritten()
{
    if (socket_.bytesToWrite() > 0) {
        stallTimer_.start(); // it takes some: the wait starts again
        return;
    }
    stallTimer_.stop();
    emit allWritten();
}

void NetworkSerialControl::output(const std::string& bytes)
{
    if (!lineUp_ || !wanted_ || bytes.empty())
        return;
    sentData_ = true;
    const QByteArrayView data(bytes.data(), static_cast<qsizetype>(bytes.size()));
    if (!telnet())
        write(data.toByteArray());
    else if (speedAnswerAwaited_ > 0 && held_.size() + data.size() > bounds_.mostWaitingBytes)
        fail(NetworkFailure::Stalled);
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
