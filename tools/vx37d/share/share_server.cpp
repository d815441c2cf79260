#include "share/share_server.h"

#include <optional>

namespace vx37::share {

namespace {

// What Qt reads ahead of a client: the rest waits in the system, which holds the client
// back once it is full.
constexpr qint64 kReadAhead = 4096;

} // namespace

// A client that shuts its sending side is common here: a script's "send, then wait for the
// replies" does; waiting means its frame is queued or on the line.
struct ShareServer::Client : daemon::TcpClient
{
    std::string frame; // what came of the next frame, without its CR
    std::int64_t lastFrameAt = 0;
    std::optional<std::int64_t> unreadSince;
    std::weak_ptr<Client> self; // for what the line does later: the client may be gone by then
};

ShareServer::ShareServer(ProjectorLine& line, int maxConnections, int maxPerAddress,
                         IntervalTimer& sweepTimer, ProjectorLine::Clock now, QObject* parent)
    : QObject(parent), line_(line), now_(std::move(now)),
      clients_(*this, QStringLiteral("shared line: "), {maxConnections, maxPerAddress, kReadAhead},
               sweepTimer, now_)
{
    connect(&server_, &QTcpServer::newConnection, this, &ShareServer::accept);
}

ShareServer::~ShareServer() = default;

int ShareServer::connectionCount() const
{
    return clients_.connectionCount();
}

bool ShareServer::listen(const daemon::ListenAddress& address)
{
    return server_.listen(address.address, address.port);
}

void ShareServer::accept()
{
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        const auto client = clients_.admit(socket, {}, [] { return std::make_shared<Client>(); });
        if (!client)
            continue;
        client->lastFrameAt = now_();
        // A reply is a few bytes that must not wait for more to join them.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        clients_.log(
            client->address, "connected",
            QStringLiteral("%1 connected (%2 open)").arg(client->peer).arg(connectionCount()),
            false);
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
    clients_.closeIfAnswered(client, QStringLiteral("its replies"));
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
        if (reply)
            c->send(reply->data(), static_cast<qint64>(reply->size()));
        serve(*c);
    });
}

void ShareServer::close(Client& client, const QString& why, bool flush)
{
    clients_.close(client, flush);
    clients_.log(client.address, "closed",
                 QStringLiteral("%1 %2 (%3 open)").arg(client.peer, why).arg(connectionCount()),
                 !flush);
}

void ShareServer::remove(const std::weak_ptr<Client>& client)
{
    const std::shared_ptr<Client> gone = clients_.find(client);
    if (!gone)
        return;
    if (clients_.shutEarly(*gone)) {
        // It shut its sending side with frames still to answer.
        gone->shut = true;
        serve(*gone);
        return;
    }
    if (!gone->closing)
        clients_.log(gone->address, "closed",
                     QStringLiteral("%1 closed the connection (%2 open)")
                         .arg(gone->peer)
                         .arg(connectionCount() - 1),
                     false);
    clients_.discard(gone, false);
}

void ShareServer::sweep()
{
    const std::int64_t now = now_();
    for (const auto& client : std::vector(clients_.all())) {
        // A client that shut its side has its replies as the line carries its frames.
        if (client->shut || clients_.closingLate(client, now, QStringLiteral("its last replies")))
            continue;
        if (client->socket->bytesToWrite() > kMostUnsent) {
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
    clients_.swept(now);
}

} // namespace vx37::share
