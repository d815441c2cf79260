#pragma once

#include "link/interval_timer.h"
#include "options.h"
#include "pjlink/pjlink_admission.h"
#include "pjlink/pjlink_bridge.h"
#include "tcp_clients.h"

#include <QObject>
#include <QTcpServer>

#include <memory>
#include <string>

namespace vx37::pjlink {

using daemon::ListenAddress;

// The PJLink side: TCP clients, each greeted, authenticated when a password is set, and
// answered one command at a time through the bridge. No client can hold up another:
// - a client's commands are read only while it has no command being answered and has
//   read its answers (so a client that sends without reading stops being read), and what
//   Qt buffers for it is bounded;
// - a line over 136 bytes (168 with the first line's digest) or one that is not a PJLink
//   command closes the connection, as does a wrong digest, after "PJLINK ERRA";
// - a client that has not logged in (without a password: sent a command) kLoginMs after
//   its greeting, or that sends no command for kIdleMs, is closed; one that has not read
//   its last answers kClosingMs after that is reset;
// - new connections are reset while the projector does not answer, beyond maxConnections
//   clients at once, and beyond maxPerAddress from one address;
// - an address that sent a wrong digest is greeted only after a wait that grows with each
//   (LoginPenalties);
// - a client that shuts its sending side gets the answers to what it sent, then is closed.
// Everything is logged through logged(): connections, authentication failures, commands
// and their answers; never the password or a digest; of each kind of line from one
// address, no more than LogLimiter lets through.
class Server : public QObject
{
    Q_OBJECT

public:
    static constexpr int kIdleMs = 30000;
    static constexpr int kLoginMs = 10000;
    static constexpr int kClosingMs = daemon::TcpLimits::kClosingMs;
    static constexpr int kSweepMs = daemon::TcpLimits::kSweepMs;

    // sweepTimer: how often clients are looked at; password empty: none.
    Server(Bridge& bridge, std::string password, int maxConnections, int maxPerAddress,
           IntervalTimer& sweepTimer, ProjectorLine::Clock now, QObject* parent = nullptr);
    ~Server() override;

    bool listen(const ListenAddress& address);
    QString errorString() const { return server_.errorString(); }
    // Where it listens, with the port the system chose for port 0.
    ListenAddress address() const { return {server_.serverAddress(), server_.serverPort()}; }
    // The clients served, and those being closed apart.
    int connectionCount() const;
    int closingCount() const;

signals:
    void logged(const QString& text, bool fault);

private:
    struct Client;
    friend class daemon::TcpClients<Server, Client>;
    void accept();
    void greet(Client& client);
    void serve(Client& client);
    void ask(Client& client, ClientLines::Step step);
    void answered(Client& client, const std::string& command, const std::string& answer);
    void close(Client& client, const QString& why, bool flush);
    void remove(const std::weak_ptr<Client>& client);
    void sweep();

    Bridge& bridge_;
    std::string password_;
    ProjectorLine::Clock now_;
    QTcpServer server_;
    daemon::TcpClients<Server, Client> clients_;
    LoginPenalties penalties_;
};

} // namespace vx37::pjlink
