#pragma once

#include "link/interval_timer.h"
#include "log_limiter.h"

#include <QByteArrayList>
#include <QObject>
#include <QPointer>
#include <QTcpSocket>

#include <cstdint>
#include <functional>
#include <map>

namespace vx37::http {

// A browser opens several connections for one page (six at once is common) besides its
// page's socket: the web front-end admits this many connections from one address for each
// client --max-per-address allows.
inline constexpr int kConnectionsPerBrowser = 4;

// The bounds of the web front-end.
struct HttpLimits
{
    int maxConnections = 64;
    int maxPerAddress = 8;
    int maxSessions = 64;       // panel pages open at once
    int maxEventSockets = 64;   // /api/events sockets open at once
    qint64 maxHead = 16 * 1024; // request line and headers
    qint64 maxBody = 64 * 1024;
    // A connection's next request (line, headers and body) must come within this; a
    // WebSocket must show life (a message or a pong) within it.
    int idleMs = 30000;
    // What a peer may leave unread before it is closed: it never holds up the others.
    qint64 maxUnsent = 256 * 1024;
    static constexpr int kSweepMs = 1000;
};

// What stands before Qt HttpServer, which reads any request whole into memory and keeps any
// connection open: each connection is admitted within the caps, and its requests are
// scanned as they come, so that a head over maxHead gets 431 and a body over maxBody 413
// (a chunked one 411) before they are buffered, and the connection is closed. A
// connection with no complete request for idleMs, or that leaves more than maxUnsent
// unread, is closed. A WebSocket upgrade ends the scan: the socket's own bounds apply.
class ConnectionGate : public QObject
{
    Q_OBJECT

public:
    ConnectionGate(HttpLimits limits, IntervalTimer& sweepTimer, std::function<std::int64_t()> now,
                   QObject* parent = nullptr);

    // Whether a new connection is admitted; a refused one is answered 503 and closed.
    bool admit(QTcpSocket* socket);
    int connectionCount() const { return static_cast<int>(connections_.size()); }
    // A reply was queued on the socket: closed now if the peer does not read.
    void checkUnsent(QTcpSocket* socket);
    // A line of the log about a client, after "web: "; of those from one address, no more
    // than the LogLimiter lets through.
    void log(const QString& address, const QString& text, bool fault);

signals:
    void logged(const QString& text, bool fault);
    // Each tick of the sweep, while there are connections.
    void swept(std::int64_t now);

private:
    struct Connection
    {
        QPointer<QTcpSocket> socket;
        QString address;
        QByteArray head;        // the head being read
        qint64 bodyLeft = 0;    // of the request being read
        bool upgraded = false;  // a WebSocket: no longer scanned
        bool refused = false;   // answered with an error; its input is dropped
        std::int64_t since = 0; // when the request being read may have begun
    };
    void scan(Connection& connection);
    void refuse(Connection& connection, const QByteArray& status, const QString& why);
    void sweep();

    HttpLimits limits_;
    IntervalTimer& sweepTimer_;
    std::function<std::int64_t()> now_;
    std::map<QTcpSocket*, Connection> connections_;
    daemon::LogLimiter limiter_;
};

// A listening server (QTcpServer, QSslServer) whose connections pass the gate before Qt
// HttpServer takes them.
template <typename Base> class GatedServer : public Base
{
public:
    explicit GatedServer(ConnectionGate& gate) : gate_(gate) {}

    QTcpSocket* nextPendingConnection() override
    {
        while (QTcpSocket* socket = Base::nextPendingConnection())
            if (gate_.admit(socket))
                return socket;
        return nullptr;
    }

private:
    ConnectionGate& gate_;
};

} // namespace vx37::http
