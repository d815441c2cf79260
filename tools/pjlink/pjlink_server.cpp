#include "pjlink/pjlink_server.h"

#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace vx37::pjlink {

namespace {

// What Qt reads ahead of a client, and what it may hold of answers the client has not read.
constexpr qint64 kReadAhead = 1024;
constexpr qint64 kMostUnsent = 4096;

QString peerText(const QTcpSocket& socket)
{
    QHostAddress address = socket.peerAddress();
    bool v4 = false;
    if (const quint32 ipv4 = address.toIPv4Address(&v4); v4)
        address = QHostAddress(ipv4);
    return ListenAddress{address, socket.peerPort()}.text();
}

// A fresh random number for each connection, from the system's secure source.
std::string freshRandom()
{
    char random[9];
    std::snprintf(random, sizeof random, "%08x", QRandomGenerator::system()->generate());
    return random;
}

} // namespace

struct Server::Client
{
    QTcpSocket* socket = nullptr;
    QString peer;
    std::string random; // empty without a password
    bool authenticated = false;
    std::string partial;  // a line until its CR
    bool waiting = false; // for the answer to a command
    bool serving = false;
    bool closing = false;
    std::int64_t lastCommandAt = 0;
    std::weak_ptr<Client> self; // for what is done later: the client may be gone by then
};

Server::Server(Bridge& bridge, std::string password, int maxConnections, IntervalTimer& sweepTimer,
               ProjectorLine::Clock now, QObject* parent)
    : QObject(parent), bridge_(bridge), password_(std::move(password)),
      maxConnections_(maxConnections), sweepTimer_(sweepTimer), now_(std::move(now))
{
    sweepTimer_.setInterval(kSweepMs);
    sweepTimer_.setTickHandler([this] { sweep(); });
    connect(&server_, &QTcpServer::newConnection, this, &Server::accept);
}

Server::~Server()
{
    for (const auto& client : clients_) {
        client->socket->disconnect(this);
        client->socket->abort();
    }
}

bool Server::listen(const ListenAddress& address)
{
    return server_.listen(address.address, address.port);
}

void Server::accept()
{
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        const QString peer = peerText(*socket);
        if (static_cast<int>(clients_.size()) >= maxConnections_) {
            emit logged(QStringLiteral("%1 refused: %2 connections open already")
                            .arg(peer)
                            .arg(maxConnections_),
                        true);
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto client = std::make_shared<Client>();
        client->socket = socket;
        client->peer = peer;
        client->self = client;
        client->random = password_.empty() ? std::string() : freshRandom();
        client->lastCommandAt = now_();
        socket->setReadBufferSize(kReadAhead);
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
        emit logged(QStringLiteral("%1 connected (%2 open)").arg(peer).arg(clients_.size()), false);
        socket->write(QByteArray::fromStdString(greeting(client->random) + '\r'));
        socket->flush();
        if (!sweepTimer_.isActive())
            sweepTimer_.start();
    }
}

void Server::serve(Client& client)
{
    if (client.serving)
        return;
    client.serving = true;
    // The first line carries the digest before its command.
    const std::size_t longest =
        kLongestCommand - 1 + (client.random.empty() || client.authenticated ? 0 : kDigestLength);
    char c = 0;
    while (!client.closing && !client.waiting && client.socket->bytesToWrite() <= kMostUnsent &&
           client.socket->getChar(&c)) {
        if (c == '\n') // CR LF ends a line as CR does
            continue;
        if (c != '\r') {
            client.partial += c;
            if (client.partial.size() > longest)
                close(client,
                      QStringLiteral("closed: a line of over %1 bytes").arg(kLongestCommand),
                      false);
            continue;
        }
        std::string line;
        line.swap(client.partial);
        if (!line.empty())
            take(client, std::move(line));
    }
    client.serving = false;
}

void Server::take(Client& client, std::string line)
{
    client.lastCommandAt = now_();
    if (!client.random.empty() && !client.authenticated) {
        if (line.size() < kDigestLength ||
            !digestMatches(std::string_view(line).substr(0, kDigestLength),
                           authDigest(client.random, password_))) {
            emit logged(client.peer + QStringLiteral(" failed to authenticate: closed"), true);
            client.socket->write("PJLINK ERRA\r");
            close(client, {}, true);
            return;
        }
        client.authenticated = true;
        line.erase(0, kDigestLength);
        if (line.empty())
            return;
    }
    const auto command = parseCommand(line);
    if (!command) {
        close(client,
              QStringLiteral("closed: not a PJLink command: \"%1\"")
                  .arg(QString::fromStdString(printable(line.substr(0, 40)))),
              false);
        return;
    }
    client.waiting = true;
    bridge_.answer(*command, [this, weak = client.self, line](const std::string& answer) {
        if (const auto c = weak.lock())
            answered(*c, line, answer);
    });
}

void Server::answered(Client& client, const std::string& command, const std::string& answer)
{
    if (client.closing)
        return;
    client.socket->write(QByteArray::fromStdString(answer + '\r'));
    client.socket->flush();
    emit logged(QStringLiteral("%1 %2 -> %3")
                    .arg(client.peer, QString::fromStdString(printable(command)),
                         QString::fromStdString(printable(answer))),
                false);
    client.waiting = false;
    serve(client);
}

void Server::close(Client& client, const QString& why, bool flush)
{
    client.closing = true;
    if (!why.isEmpty())
        emit logged(client.peer + QLatin1Char(' ') + why, true);
    if (flush) {
        client.socket->disconnectFromHost();
    } else {
        client.socket->abort();
        QTimer::singleShot(0, this, [this, weak = client.self] { remove(weak); });
    }
}

void Server::remove(const std::weak_ptr<Client>& client)
{
    const std::shared_ptr<Client> gone = client.lock();
    const auto found = std::find(clients_.begin(), clients_.end(), gone);
    if (!gone || found == clients_.end())
        return;
    clients_.erase(found);
    if (!gone->closing)
        emit logged(gone->peer + (gone->waiting ? QStringLiteral(" closed the connection "
                                                                 "before its answer")
                                                : QStringLiteral(" closed the connection")),
                    false);
    gone->socket->disconnect(this);
    gone->socket->deleteLater();
    if (clients_.empty())
        sweepTimer_.stop();
}

void Server::sweep()
{
    const std::int64_t now = now_();
    for (const auto& client : std::vector(clients_)) {
        if (!client->closing && now - client->lastCommandAt >= kIdleMs)
            close(*client, QStringLiteral("closed: no command for %1 s").arg(kIdleMs / 1000), true);
    }
}

} // namespace vx37::pjlink
