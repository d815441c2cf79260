#pragma once

#include "link/interval_timer.h"
#include "log_limiter.h"

#include <QObject>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace vx37::daemon {

// What every front-end keeps of a TCP client; each adds its protocol's own state.
struct TcpClient
{
    // Sends to the client at once; on the spare descriptor once it has shut its side.
    void send(const char* data, qint64 size);
    void send(const QByteArray& bytes) { send(bytes.constData(), bytes.size()); }

    QTcpSocket* socket = nullptr;
    // A second descriptor of the connection: Qt closes its own once the client shuts its
    // sending side, and what answers what it sent goes out on this one.
    int spare = -1;
    QString peer;         // address and port
    QString address;      // for the caps and the log
    bool waiting = false; // for what answers its last request
    bool serving = false;
    bool closing = false;
    bool shut = false; // it shut its sending side
    std::int64_t closingSince = 0;
};

struct TcpLimits
{
    int maxConnections = 0;
    int maxPerAddress = 0;
    qint64 readAhead = 0; // what Qt reads ahead of a client
    // How long a client being closed may leave its last answers unread before it is reset.
    static constexpr int kClosingMs = 5000;
    static constexpr int kSweepMs = 1000; // how often clients are looked at
};

// Ends a connection with a reset, not a clean close: the client learns at once that it is
// not served, rather than finding an empty reply.
void reset(QTcpSocket& socket, int spare);
// Closes a spare descriptor, if any, and forgets it.
void release(int& spare);
// A new connection's address (an IPv4 one as such) and its address and port.
std::pair<QString, QString> addressOf(const QTcpSocket& socket);
// Takes an admitted client's socket, with a spare descriptor of it.
void adopt(TcpClient& client, QTcpSocket* socket, qint64 readAhead);

// The clients of one front-end (Owner, a friend): admitted within the limits, counted,
// closed and discarded. Owner::serve(Client&) runs as a client sends or reads, remove(weak)
// once its connection ends, sweep() on each tick of the sweep timer, which runs while there
// are clients or lines held back. What is logged of the clients goes through a LogLimiter,
// each line after `prefix`, to the signal Owner::logged.
template <typename Owner, typename Client> class TcpClients
{
public:
    TcpClients(Owner& owner, QString prefix, TcpLimits limits, IntervalTimer& sweepTimer,
               std::function<std::int64_t()> now)
        : owner_(owner), prefix_(std::move(prefix)), limits_(limits), sweepTimer_(sweepTimer),
          now_(std::move(now))
    {
        sweepTimer_.setInterval(TcpLimits::kSweepMs);
        sweepTimer_.setTickHandler([this] { owner_.sweep(); });
    }
    ~TcpClients()
    {
        for (const auto& client : clients_) {
            client->socket->disconnect(&owner_);
            client->socket->abort();
            release(client->spare);
        }
    }

    const std::vector<std::shared_ptr<Client>>& all() const { return clients_; }
    // The clients served, and those being closed apart.
    int connectionCount() const { return served(nullptr); }
    int closingCount() const { return static_cast<int>(clients_.size()) - connectionCount(); }

    // A new connection, reset with the reason logged when `refusal` is set or a limit is
    // reached; else the client make() builds, watched and counted.
    template <typename Make>
    std::shared_ptr<Client> admit(QTcpSocket* socket, QString refusal, Make make)
    {
        const auto [address, peer] = addressOf(*socket);
        if (refusal.isEmpty() && connectionCount() >= limits_.maxConnections)
            refusal = QStringLiteral("%1 connections open already").arg(limits_.maxConnections);
        else if (refusal.isEmpty() && served(&address) >= limits_.maxPerAddress)
            refusal =
                QStringLiteral("%1 connections from it open already").arg(limits_.maxPerAddress);
        if (!refusal.isEmpty()) {
            log(address, "refused", peer + QStringLiteral(" refused: ") + refusal, true);
            reset(*socket, -1);
            socket->deleteLater();
            return nullptr;
        }
        std::shared_ptr<Client> client = make();
        client->peer = peer;
        client->address = address;
        client->self = client;
        adopt(*client, socket, limits_.readAhead);
        const std::weak_ptr<Client> weak = client;
        const auto serveIt = [this, weak] {
            if (const auto c = weak.lock())
                owner_.serve(*c);
        };
        QObject::connect(socket, &QTcpSocket::readyRead, &owner_, serveIt);
        QObject::connect(socket, &QTcpSocket::bytesWritten, &owner_, serveIt);
        // Queued: a socket closed inside serve is removed once serve is done with it.
        QObject::connect(
            socket, &QTcpSocket::disconnected, &owner_, [this, weak] { owner_.remove(weak); },
            Qt::QueuedConnection);
        clients_.push_back(client);
        return client;
    }

    // The client, while it is one of these.
    std::shared_ptr<Client> find(const std::weak_ptr<Client>& client) const
    {
        const std::shared_ptr<Client> found = client.lock();
        return std::find(clients_.begin(), clients_.end(), found) != clients_.end() ? found
                                                                                    : nullptr;
    }

    // Closes a client: flush, after what was sent to it; but closing clients are bounded as
    // the live ones, and past that one is reset at once.
    void close(Client& client, bool flush)
    {
        client.closing = true;
        client.closingSince = now_();
        if (flush && !client.shut && closingCount() <= limits_.maxConnections) {
            client.socket->disconnectFromHost();
            return;
        }
        if (flush && client.shut)
            release(client.spare); // the last of the connection: what was sent goes out first
        else
            reset(*client.socket, std::exchange(client.spare, -1));
        QTimer::singleShot(0, &owner_, [this, weak = client.self] { owner_.remove(weak); });
    }

    // A client that shut its side is closed once all it sent is answered (`answers`).
    void closeIfAnswered(Client& client, const QString& answers)
    {
        if (client.shut && !client.waiting && !client.closing)
            if (const auto self = client.self.lock()) {
                log(client.address, "closed",
                    client.peer + QStringLiteral(" closed its side; closed after ") + answers,
                    false);
                discard(self, false);
            }
    }

    // Whether a client shut its side with requests still to answer.
    static bool shutEarly(const Client& client)
    {
        return !client.closing && !client.shut && client.spare >= 0 &&
               (client.waiting || client.socket->bytesAvailable() > 0);
    }

    void discard(const std::shared_ptr<Client>& client, bool resetIt)
    {
        clients_.erase(std::find(clients_.begin(), clients_.end(), client));
        client->socket->disconnect(&owner_);
        if (resetIt)
            reset(*client->socket, std::exchange(client->spare, -1));
        else
            release(client->spare);
        client->socket->deleteLater();
    }

    // For the sweep: whether a client is being closed; reset when it has left its last
    // answers (`answers`) unread for kClosingMs.
    bool closingLate(const std::shared_ptr<Client>& client, std::int64_t now,
                     const QString& answers)
    {
        if (!client->closing)
            return false;
        if (now - client->closingSince >= TcpLimits::kClosingMs) {
            log(client->address, "closed",
                client->peer + QStringLiteral(" reset: %1 unread for %2 s")
                                   .arg(answers)
                                   .arg(TcpLimits::kClosingMs / 1000),
                true);
            discard(client, true);
        }
        return true;
    }

    // The end of a sweep: the lines held back are told, and the sweep stops once there is
    // nothing left to look at.
    void swept(std::int64_t now)
    {
        for (const QString& told : limiter_.ended(now))
            emit owner_.logged(prefix_ + told, true);
        if (clients_.empty() && limiter_.empty())
            sweepTimer_.stop();
    }

    void log(const QString& address, const char* kind, const QString& text, bool fault)
    {
        if (limiter_.admit(address + QLatin1Char(' ') + QLatin1String(kind), now_()))
            emit owner_.logged(prefix_ + text, fault);
        if (!sweepTimer_.isActive())
            sweepTimer_.start();
    }

private:
    // The clients served (from one address), not those being closed.
    int served(const QString* address) const
    {
        return static_cast<int>(std::count_if(clients_.begin(), clients_.end(), [&](const auto& c) {
            return !c->closing && (!address || c->address == *address);
        }));
    }

    Owner& owner_;
    QString prefix_;
    TcpLimits limits_;
    IntervalTimer& sweepTimer_;
    std::function<std::int64_t()> now_;
    std::vector<std::shared_ptr<Client>> clients_;
    LogLimiter limiter_;
};

} // namespace vx37::daemon
