#include "pjlink/pjlink_server.h"

#include <QRandomGenerator>

#include <cstdio>

namespace vx37::pjlink {

namespace {

// What Qt reads ahead of a client, and what it may hold of answers the client has not read.
constexpr qint64 kReadAhead = 1024;
constexpr qint64 kMostUnsent = 4096;

// A fresh random number for each connection, from the system's secure source.
std::string freshRandom()
{
    char random[9];
    std::snprintf(random, sizeof random, "%08x", QRandomGenerator::system()->generate());
    return random;
}

} // namespace

struct Server::Client : daemon::TcpClient
{
    Client(std::string random, std::string_view password) : lines(std::move(random), password) {}

    ClientLines lines;
    bool greeted = false;
    std::int64_t greetAt = 0;
    std::int64_t greetedAt = 0;
    std::int64_t lastCommandAt = 0;
    std::weak_ptr<Client> self; // for what is done later: the client may be gone by then
};

Server::Server(Bridge& bridge, std::string password, int maxConnections, int maxPerAddress,
               IntervalTimer& sweepTimer, ProjectorLine::Clock now, QObject* parent)
    : QObject(parent), bridge_(bridge), password_(std::move(password)), now_(std::move(now)),
      clients_(*this, {}, {maxConnections, maxPerAddress, kReadAhead}, sweepTimer, now_)
{
    connect(&server_, &QTcpServer::newConnection, this, &Server::accept);
}

Server::~Server() = default;

int Server::connectionCount() const
{
    return clients_.connectionCount();
}
int Server::closingCount() const
{
    return clients_.closingCount();
}

bool Server::listen(const ListenAddress& address)
{
    return server_.listen(address.address, address.port);
}

void Server::accept()
{
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        const auto client = clients_.admit(
            socket,
            bridge_.projectorAnswers() ? QString()
                                       : QStringLiteral("the projector does not answer"),
            [this] {
                return std::make_shared<Client>(password_.empty() ? std::string() : freshRandom(),
                                                password_);
            });
        if (!client)
            continue;
        client->greetAt = penalties_.greetAt(client->address, now_());
        const std::int64_t wait = client->greetAt - now_();
        clients_.log(
            client->address, "connected",
            QStringLiteral("%1 connected (%2 open)").arg(client->peer).arg(clients_.all().size()) +
                (wait > 0 ? QStringLiteral("; greeted in %1 ms, after a wrong digest").arg(wait)
                          : QString()),
            false);
        if (wait <= 0)
            greet(*client);
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
            clients_.log(client.address, "denied",
                         client.peer + QStringLiteral(" failed to authenticate: closed"), true);
            client.send("PJLINK ERRA\r");
            close(client, {}, true);
            break;
        case ClientLines::Step::Kind::Drop:
            close(client, QStringLiteral("closed: ") + QString::fromStdString(step.line), false);
            break;
        }
    }
    client.serving = false;
    clients_.closeIfAnswered(client, QStringLiteral("its answers"));
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
    client.send(QByteArray::fromStdString(answer + '\r'));
    clients_.log(client.address, "command",
                 QStringLiteral("%1 %2 -> %3")
                     .arg(client.peer, QString::fromStdString(printable(command)),
                          QString::fromStdString(printable(answer))),
                 false);
    client.waiting = false;
    serve(client);
}

void Server::close(Client& client, const QString& why, bool flush)
{
    if (!why.isEmpty())
        clients_.log(client.address, "closed", client.peer + QLatin1Char(' ') + why, true);
    clients_.close(client, flush);
}

void Server::remove(const std::weak_ptr<Client>& client)
{
    const std::shared_ptr<Client> gone = clients_.find(client);
    if (!gone)
        return;
    if (gone->greeted && clients_.shutEarly(*gone)) {
        // It shut its sending side with commands still to answer.
        gone->shut = true;
        serve(*gone);
        return;
    }
    if (!gone->closing)
        clients_.log(gone->address, "closed", gone->peer + QStringLiteral(" closed the connection"),
                     false);
    clients_.discard(gone, false);
}

void Server::sweep()
{
    const std::int64_t now = now_();
    for (const auto& client : std::vector(clients_.all())) {
        // A client that shut its side has its answers within the bridge's time.
        if (client->shut || clients_.closingLate(client, now, QStringLiteral("its answers")))
            continue;
        if (!client->greeted) {
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
    clients_.swept(now);
}

} // namespace vx37::pjlink
