#include "share/share_server.h"

#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <fcntl.h>
#include <optional>
#include <sys/socket.h>
#include <unistd.h>

namespace vx37::share {

namespace {

// What Qt reads ahead of a client: the rest waits in the system, which holds the client
// back once it is full.
constexpr qint64 kReadAhead = 4096;
// What the system holds of replies unread: little, so that a client that reads nothing is
// seen as such soon.
constexpr int kSystemSendBuffer = 4096;

QHostAddress peerAddress(const QTcpSocket& socket)
{
    QHostAddress address = socket.peerAddress();
    bool v4 = false;
    if (const quint32 ipv4 = address.toIPv4Address(&v4); v4)
        address = QHostAddress(ipv4);
    return address;
}

// Ends a connection with a reset: the client learns at once that it is not served.
void reset(QTcpSocket& socket, int spare)
{
    const linger now{1, 0};
    const int fd = spare >= 0 ? spare : static_cast<int>(socket.socketDescriptor());
    if (fd >= 0)
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &now, sizeof now);
    socket.abort();
    if (spare >= 0)
        ::close(spare);
}

} // namespace

struct ShareServer::Client
{
    QTcpSocket* socket = nullptr;
    // A second descriptor of the connection: Qt closes its own once the client shuts its
    // sending side (as a script's "send, then wait for the replies" does), and the replies
    // to what it sent go out on this one.
    int spare = -1;
    bool shut = false;
    QString peer;         // address and port
    QString address;      // for the caps and the log
    std::string frame;    // what came of the next frame, without its CR
    bool waiting = false; // its frame is queued or on the line
    bool serving = false;
    bool closing = false;
    std::int64_t lastFrameAt = 0;
    std::int64_t closingSince = 0;
    std::optional<std::int64_t> unreadSince;
    std::weak_ptr<Client> self; // for what the line does later: the client may be gone by then
};

ShareServer::ShareServer(ProjectorLine& line, int maxConnections, int maxPerAddress,
                         IntervalTimer& sweepTimer, ProjectorLine::Clock now, QObject* parent)
    : QObject(parent), line_(line), maxConnections_(maxConnections), maxPerAddress_(maxPerAddress),
      sweepTimer_(sweepTimer), now_(std::move(now))
{
    sweepTimer_.setInterval(kSweepMs);
    sweepTimer_.setTickHandler([this] { sweep(); });
    connect(&server_, &QTcpServer::newConnection, this, &ShareServer::accept);
}

ShareServer::~ShareServer()
{
    for (const auto& client : clients_) {
        client->socket->disconnect(this);
        client->socket->abort();
        if (client->spare >= 0)
            ::close(client->spare);
    }
}

bool ShareServer::listen(const daemon::ListenAddress& address)
{
    return server_.listen(address.address, address.port);
}

int ShareServer::connectionCount() const
{
    return static_cast<int>(std::count_if(clients_.begin(), clients_.end(),
                                          [](const auto& client) { return !client->closing; }));
}

int ShareServer::countOf(const QString& address) const
{
    return static_cast<int>(std::count_if(clients_.begin(), clients_.end(), [&](const auto& c) {
        return !c->closing && c->address == address;
    }));
}

void ShareServer::accept()
{
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        const QHostAddress host = peerAddress(*socket);
        const QString address = host.toString();
        const QString peer = daemon::ListenAddress{host, socket->peerPort()}.text();
        QString refusal;
        if (connectionCount() >= maxConnections_)
            refusal = QStringLiteral("%1 connections open already").arg(maxConnections_);
        else if (countOf(address) >= maxPerAddress_)
            refusal = QStringLiteral("%1 connections from it open already").arg(maxPerAddress_);
        if (!refusal.isEmpty()) {
            log(address, "refused",
                QStringLiteral("shared line: %1 refused: %2").arg(peer, refusal), true);
            reset(*socket, -1);
            socket->deleteLater();
            continue;
        }
        auto client = std::make_shared<Client>();
        client->socket = socket;
        client->spare = ::fcntl(static_cast<int>(socket->socketDescriptor()), F_DUPFD_CLOEXEC, 0);
        client->peer = peer;
        client->address = address;
        client->lastFrameAt = now_();
        client->self = client;
        socket->setReadBufferSize(kReadAhead);
        socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, kSystemSendBuffer);
        // A reply is a few bytes that must not wait for more to join them.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        const std::weak_ptr<Client> weak = client;
        const auto serveIt = [this, weak] {
            if (const auto c = weak.lock())
                serve(*c);
        };
        connect(socket, &QTcpSocket::readyRead, this, serveIt);
        connect(socket, &QTcpSocket::bytesWritten, this, serveIt);
        // Queued: a socket closed inside serve() is removed once serve() is done with it.
        connect(
            socket, &QTcpSocket::disconnected, this, [this, weak] { remove(weak); },
            Qt::QueuedConnection);
        clients_.push_back(client);
        log(address, "connected",
            QStringLiteral("shared line: %1 connected (%2 open)").arg(peer).arg(connectionCount()),
            false);
        if (!sweepTimer_.isActive())
            sweepTimer_.start();
        serve(*client);
    }
}

void ShareServer::serve(Client& client)
{
    if (client.serving)
        return;
    client.serving = true;
    // One frame at a time, and none while its replies pile up unread: what is not read
    // here waits in the system, which holds the client back.
    while (!client.closing && !client.waiting && client.socket->bytesToWrite() <= kMostUnsent) {
        const QByteArray ahead = client.socket->peek(kReadAhead);
        if (ahead.isEmpty())
            break;
        const qsizetype cr = ahead.indexOf('\r');
        client.socket->skip(cr < 0 ? ahead.size() : cr + 1);
        client.frame.append(ahead.constData(),
                            static_cast<std::size_t>(cr < 0 ? ahead.size() : cr));
        if (client.frame.size() > kLongestFrame) {
            close(client, QStringLiteral("closed: a frame longer than %1 bytes").arg(kLongestFrame),
                  false);
        } else if (cr >= 0) {
            relay(client);
        }
    }
    client.serving = false;
    if (client.shut && !client.waiting && !client.closing)
        if (const auto self = client.self.lock()) {
            log(client.address, "closed",
                QStringLiteral("shared line: %1 closed its side; closed after its replies")
                    .arg(client.peer),
                false);
            discard(self, false);
        }
}

void ShareServer::relay(Client& client)
{
    client.lastFrameAt = now_();
    client.waiting = true;
    const std::string frame = std::exchange(client.frame, {});
    // The reply may come at once (the line is down): serve() goes on with the next frame.
    line_.relay(frame, [this, weak = client.self](const ProjectorLine::Reply& reply) {
        const auto c = weak.lock();
        if (!c)
            return;
        c->waiting = false;
        if (c->closing)
            return;
        if (reply && c->shut) {
            // Never blocking: what does not fit is lost with the connection.
            ::send(c->spare, reply->data(), reply->size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        } else if (reply) {
            c->socket->write(reply->data(), static_cast<qint64>(reply->size()));
            c->socket->flush();
        }
        serve(*c);
    });
}

void ShareServer::close(Client& client, const QString& why, bool flush)
{
    client.closing = true;
    client.closingSince = now_();
    log(client.address, "closed",
        QStringLiteral("shared line: %1 %2 (%3 open)").arg(client.peer, why).arg(connectionCount()),
        !flush);
    const auto closing =
        std::count_if(clients_.begin(), clients_.end(), [](const auto& c) { return c->closing; });
    // Closing clients are bounded as the live ones: past that, one is reset at once.
    if (flush && closing <= maxConnections_) {
        client.socket->disconnectFromHost();
        return;
    }
    reset(*client.socket, std::exchange(client.spare, -1));
    QTimer::singleShot(0, this, [this, weak = client.self] { remove(weak); });
}

void ShareServer::remove(const std::weak_ptr<Client>& client)
{
    const std::shared_ptr<Client> gone = client.lock();
    if (!gone || std::find(clients_.begin(), clients_.end(), gone) == clients_.end())
        return;
    if (!gone->closing && !gone->shut && gone->spare >= 0 &&
        (gone->waiting || gone->socket->bytesAvailable() > 0)) {
        // It shut its sending side with frames still to answer.
        gone->shut = true;
        serve(*gone);
        return;
    }
    if (!gone->closing)
        log(gone->address, "closed",
            QStringLiteral("shared line: %1 closed the connection (%2 open)")
                .arg(gone->peer)
                .arg(connectionCount() - 1),
            false);
    discard(gone, false);
}

void ShareServer::discard(const std::shared_ptr<Client>& client, bool resetIt)
{
    clients_.erase(std::find(clients_.begin(), clients_.end(), client));
    client->socket->disconnect(this);
    if (resetIt)
        reset(*client->socket, client->spare);
    else if (client->spare >= 0)
        ::close(client->spare);
    client->spare = -1;
    client->socket->deleteLater();
}

void ShareServer::sweep()
{
    const std::int64_t now = now_();
    for (const auto& client : std::vector(clients_)) {
        if (client->shut)
            continue; // its replies come as the line carries its frames
        if (client->closing) {
            if (now - client->closingSince >= kClosingMs) {
                log(client->address, "closed",
                    QStringLiteral("shared line: %1 reset: its last replies unread for %2 s")
                        .arg(client->peer)
                        .arg(kClosingMs / 1000),
                    true);
                discard(client, true);
            }
        } else if (client->socket->bytesToWrite() > kMostUnsent) {
            client->unreadSince = client->unreadSince.value_or(now);
            if (now - *client->unreadSince >= kUnreadMs)
                close(*client,
                      QStringLiteral("reset: its replies unread for %1 s").arg(kUnreadMs / 1000),
                      false);
        } else {
            client->unreadSince.reset();
            if (!client->waiting && now - client->lastFrameAt >= kIdleMs)
                close(*client,
                      QStringLiteral("closed: no frame for %1 minutes").arg(kIdleMs / 60000), true);
        }
    }
    for (const QString& told : limiter_.ended(now))
        emit logged(QStringLiteral("shared line: ") + told, true);
    if (clients_.empty() && limiter_.empty())
        sweepTimer_.stop();
}

void ShareServer::log(const QString& address, const char* kind, const QString& text, bool fault)
{
    if (limiter_.admit(address + QLatin1Char(' ') + QLatin1String(kind), now_()))
        emit logged(text, fault);
    if (!sweepTimer_.isActive())
        sweepTimer_.start();
}

} // namespace vx37::share
