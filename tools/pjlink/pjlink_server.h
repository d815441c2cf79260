#pragma once

#include "link/interval_timer.h"
#include "pjlink/pjlink_bridge.h"
#include "pjlink/pjlink_options.h"

#include <QObject>
#include <QTcpServer>

#include <memory>
#include <string>
#include <vector>

namespace vx37::pjlink {

// The PJLink side: TCP clients, each greeted, authenticated when a password is set, and
// answered one command at a time through the bridge. No client can hold up another:
// - a client's commands are read only while it has no command being answered and has
//   read its answers (so a client that sends without reading stops being read), and what
//   Qt buffers for it is bounded;
// - a line over 136 bytes (168 with the first line's digest) or one that is not a PJLink
//   command closes the connection, as does a wrong digest, after "PJLINK ERRA";
// - a client that sends no command for kIdleMs is closed;
// - at most maxConnections clients at once: one more is closed as soon as it connects.
// Everything is logged through logged(): connections, authentication failures, commands
// and their answers; never the password or a digest.
class Server : public QObject
{
    Q_OBJECT

public:
    static constexpr int kIdleMs = 30000;
    static constexpr int kSweepMs = 1000;

    // sweepTimer: how often idle clients are looked for; password empty: none.
    Server(Bridge& bridge, std::string password, int maxConnections, IntervalTimer& sweepTimer,
           ProjectorLine::Clock now, QObject* parent = nullptr);
    ~Server() override;

    bool listen(const ListenAddress& address);
    QString errorString() const { return server_.errorString(); }
    // Where it listens, with the port the system chose for port 0.
    ListenAddress address() const { return {server_.serverAddress(), server_.serverPort()}; }
    int connectionCount() const { return static_cast<int>(clients_.size()); }

signals:
    void logged(const QString& text, bool fault);

private:
    struct Client;
    void accept();
    void serve(Client& client);
    void take(Client& client, std::string line);
    void answered(Client& client, const std::string& command, const std::string& answer);
    void close(Client& client, const QString& why, bool flush);
    void remove(const std::weak_ptr<Client>& client);
    void sweep();

    Bridge& bridge_;
    std::string password_;
    int maxConnections_;
    IntervalTimer& sweepTimer_;
    ProjectorLine::Clock now_;
    QTcpServer server_;
    std::vector<std::shared_ptr<Client>> clients_;
};

} // namespace vx37::pjlink
