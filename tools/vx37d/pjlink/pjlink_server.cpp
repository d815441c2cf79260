#include "pjlink/pjlink_server.h"

#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vx37::pjlink {

namespace {

// What Qt reads ahead of a client, and what it may hold of answers the client has not read.
constexpr qint64 kReadAhead = 1024;
constexpr qint64 kMostUnsent = 4096;
// And what the system holds of them: little, so that a client that reads nothing is seen
// as such soon.
constexpr int kSystemSendBuffer = 4096;

QHostAddress peerAddress(const QTcpSocket& socket)
{
    QHostAddress address = socket.peerAddress();
    bool v4 = false;
    if (const quint32 ipv4 = address.toIPv4Address(&v4); v4)
        address = QHostAddress(ipv4);
    return address;
}

// A fresh random number for each connection, from the system's secure source.
std::string freshRandom()
{
    char random[9];
    std::snprintf(random, sizeof random, "%08x", QRandomGenerator::system()->generate());
    return random;
}

// Ends a connection with a reset, not a clean close: a client that finds the server gone
// before its greeting should see a failed connection, not an empty reply.
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

struct Server::Client
{
    Client(std::string random, std::string_view password) : lines(std::move(random), password) {}

    QTcpSocket* socket = nullptr;
    // A second descriptor of the connection: Qt closes its own once the client shuts its
    // sending side, and the answers to what it sent go out on this one.
    int spare = -1;
    QString peer;    // address and port
    QString address; // for the tables kept per address
    ClientLines lines;
    bool greeted = false;
    bool waiting = false; // for the answer to a command
    bool serving = false;
    bool closing = false;
    bool shut = false; // the client shut its sending side
    std::int64_t greetAt = 0;
    std::int64_t greetedAt = 0;
    std::int64_t lastCommandAt = 0;
    std::int64_t closingSince = 0;
    std::weak_ptr<Client> self; // for what is done later: the client may be gone by then
};

Server::Server(Bridge& bridge, std::string password, int maxConnections, int maxPerAddress,
               IntervalTimer& sweepTimer, ProjectorLine::Clock now, QObject* parent)
    : QObject(parent), bridge_(bridge), password_(std::move(password)),
      maxConnections_(maxConnections), maxPerAddress_(maxPerAddress), sweepTimer_(sweepTimer),
      now_(std::move(now))
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
        if (client->spare >= 0)
            ::close(client->spare);
    }
}

bool Server::listen(const ListenAddress& address)
{
    return server_.listen(address.address, address.port);
}

int Server::connectionCount() const
{
    return static_cast<int>(std::count_if(clients_.begin(), clients_.end(),
                                          [](const auto& client) { return !client->closing; }));
}

int Server::closingCount() const
{
    return static_cast<int>(clients_.size()) - connectionCount();
}

int Server::countOf(const QString& address) const
{
    return static_cast<int>(std::count_if(clients_.begin(), clients_.end(), [&](const auto& c) {
        return !c->closing && c->address == address;
    }));
}

void Server::accept()
{
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        const QHostAddress host = peerAddress(*socket);
        const QString address = host.toString();
        const QString peer = ListenAddress{host, socket->peerPort()}.text();
        QString refusal;
        if (!bridge_.projectorAnswers())
            refusal = QStringLiteral("the projector does not answer");
        else if (connectionCount() >= maxConnections_)
            refusal = QStringLiteral("%1 connections open already").arg(maxConnections_);
        else if (countOf(address) >= maxPerAddress_)
            refusal = QStringLiteral("%1 connections from it open already").arg(maxPerAddress_);
        if (!refusal.isEmpty()) {
            log(address, "refused", peer + QStringLiteral(" refused: ") + refusal, true);
            reset(*socket, -1);
            socket->deleteLater();
            continue;
        }
        auto client =
            std::make_shared<Client>(password_.empty() ? std::string() : freshRandom(), password_);
        client->socket = socket;
        client->spare = ::fcntl(static_cast<int>(socket->socketDescriptor()), F_DUPFD_CLOEXEC, 0);
        client->peer = peer;
        client->address = address;
        client->self = client;
        client->greetAt = penalties_.greetAt(address, now_());
        socket->setReadBufferSize(kReadAhead);
        socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, kSystemSendBuffer);
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
        const std::int64_t wait = client->greetAt - now_();
        log(address, "connected",
            QStringLiteral("%1 connected (%2 open)").arg(peer).arg(clients_.size()) +
                (wait > 0 ? QStringLiteral("; greeted in %1 ms, after a wrong digest").arg(wait)
                          : QString()),
            false);
        if (wait <= 0)
            greet(*client);
        if (!sweepTimer_.isActive())
            sweepTimer_.start();
    }
}

void Server::greet(Client& client)
{
    client.greeted = true;
    client.greetedAt = client.lastCommandAt = now_();
    client.socket->write(QByteArray::fromStdString(greeting(client.lines.random()) + '\r'));
    client.socket->flush();
    serve(client);
}

void Server::serve(Client& client)
{
    if (client.serving || !client.greeted)
        return;
    client.serving = true;
    char c = 0;
    while (!client.closing && !client.waiting && client.socket->bytesToWrite() <= kMostUnsent &&
           client.socket->getChar(&c)) {
        ClientLines::Step step = client.lines.take(c);
        switch (step.kind) {
        case ClientLines::Step::Kind::More:
            break;
        case ClientLines::Step::Kind::Ask:
            ask(client, std::move(step));
            break;
        case ClientLines::Step::Kind::Deny:
            penalties_.failed(client.address, now_());
            log(client.address, "denied",
                client.peer + QStringLiteral(" failed to authenticate: closed"), true);
            send(client, "PJLINK ERRA\r");
            close(client, {}, true);
            break;
        case ClientLines::Step::Kind::Drop:
            close(client, QStringLiteral("closed: ") + QString::fromStdString(step.line), false);
            break;
        }
    }
    client.serving = false;
    // A client that shut its side is closed once everything it sent is answered.
    if (client.shut && !client.waiting && !client.closing)
        if (const auto self = client.self.lock()) {
            log(client.address, "closed",
                client.peer + QStringLiteral(" closed its side; closed after its answers"), false);
            discard(self, false);
        }
}

void Server::ask(Client& client, ClientLines::Step step)
{
    client.lastCommandAt = now_();
    client.waiting = true;
    if (!client.lines.random().empty())
        penalties_.succeeded(client.address);
    bridge_.answer(step.command, [this, weak = client.self,
                                  line = std::move(step.line)](const std::string& answer) {
        if (const auto c = weak.lock())
            answered(*c, line, answer);
    });
}

void Server::answered(Client& client, const std::string& command, const std::string& answer)
{
    if (client.closing)
        return;
    send(client, QByteArray::fromStdString(answer + '\r'));
    log(client.address, "command",
        QStringLiteral("%1 %2 -> %3")
            .arg(client.peer, QString::fromStdString(printable(command)),
                 QString::fromStdString(printable(answer))),
        false);
    client.waiting = false;
    serve(client);
}

void Server::send(Client& client, const QByteArray& bytes)
{
    if (client.shut) {
        // Never blocking: what does not fit is lost with the connection.
        ::send(client.spare, bytes.constData(), static_cast<std::size_t>(bytes.size()),
               MSG_NOSIGNAL | MSG_DONTWAIT);
    } else {
        client.socket->write(bytes);
        client.socket->flush();
    }
}

void Server::close(Client& client, const QString& why, bool flush)
{
    client.closing = true;
    client.closingSince = now_();
    if (!why.isEmpty())
        log(client.address, "closed", client.peer + QLatin1Char(' ') + why, true);
    // Closing clients are bounded as the live ones: past that, one is reset at once.
    if (flush && !client.shut && closingCount() <= maxConnections_) {
        client.socket->disconnectFromHost();
        return;
    }
    if (flush && client.shut)
        ::close(client.spare); // the last of the connection: what was sent goes out first
    else
        reset(*client.socket, client.spare);
    client.spare = -1;
    QTimer::singleShot(0, this, [this, weak = client.self] { remove(weak); });
}

void Server::remove(const std::weak_ptr<Client>& client)
{
    const std::shared_ptr<Client> gone = client.lock();
    if (!gone || std::find(clients_.begin(), clients_.end(), gone) == clients_.end())
        return;
    if (!gone->closing && !gone->shut && gone->greeted && gone->spare >= 0 &&
        (gone->waiting || gone->socket->bytesAvailable() > 0)) {
        // It shut its sending side with commands still to answer.
        gone->shut = true;
        serve(*gone);
        return;
    }
    if (!gone->closing)
        log(gone->address, "closed", gone->peer + QStringLiteral(" closed the connection"), false);
    discard(gone, false);
}

void Server::discard(const std::shared_ptr<Client>& client, bool resetIt)
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

void Server::sweep()
{
    const std::int64_t now = now_();
    for (const auto& client : std::vector(clients_)) {
        if (client->shut)
            continue; // its answers come within the bridge's time
        if (client->closing) {
            if (now - client->closingSince >= kClosingMs) {
                log(client->address, "closed",
                    client->peer + QStringLiteral(" reset: its answers unread for %1 s")
                                       .arg(kClosingMs / 1000),
                    true);
                discard(client, true);
            }
        } else if (!client->greeted) {
            if (now >= client->greetAt)
                greet(*client);
        } else if (!client->lines.started() && now - client->greetedAt >= kLoginMs) {
            close(*client,
                  QStringLiteral("closed: no %1 within %2 s")
                      .arg(password_.empty() ? QStringLiteral("command") : QStringLiteral("login"))
                      .arg(kLoginMs / 1000),
                  true);
        } else if (now - client->lastCommandAt >= kIdleMs) {
            close(*client, QStringLiteral("closed: no command for %1 s").arg(kIdleMs / 1000), true);
        }
    }
    for (const QString& told : limiter_.ended(now))
        emit logged(told, true);
    if (clients_.empty() && limiter_.empty())
        sweepTimer_.stop();
}

void Server::log(const QString& address, const char* kind, const QString& text, bool fault)
{
    if (limiter_.admit(address + QLatin1Char(' ') + QLatin1String(kind), now_()))
        emit logged(text, fault);
    if (!sweepTimer_.isActive())
        sweepTimer_.start();
}

} // namespace vx37::pjlink
