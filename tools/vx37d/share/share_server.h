#pragma once

#include "line/projector_line.h"
#include "link/interval_timer.h"
#include "options.h"
#include "tcp_clients.h"

#include <QObject>
#include <QTcpServer>

#include <cstddef>
#include <memory>

namespace vx37::share {

// The shared line: TCP clients that speak the projector's own protocol, as if each had the
// serial line to itself. A frame is the bytes a client sends up to its CR (LF, NUL and the
// like are part of it); it joins the line's one queue and its reply, as the projector sent
// it, goes to that client alone; when no reply comes, nothing does, and the client's own
// time-out tells it, as on a serial line.
// - A client has one frame queued or on the line at a time, and is not read meanwhile: one
//   that sends faster than the line carries is held back by TCP, none of its frames lost.
// - A frame of more than kLongestFrame bytes before its CR closes the client; the line
//   sees none of it.
// - Beyond maxConnections clients at once, or maxPerAddress from one address, a new
//   connection is reset.
// - A client that shuts its sending side gets the replies to what it sent, then is closed.
// - A client that sends no frame for kIdleMs is closed. A panel opens its port when it
//   starts and may sit for hours before its first click, so there is no shorter wait for a
//   first frame: the caps bound what silent clients hold.
// - Replies a client has not read are held up to kMostUnsent bytes (beyond that it is no
//   longer read); a client that leaves them so for kUnreadMs is reset, as is one being
//   closed that has not taken its last replies kClosingMs after.
// The log (logged()) tells of connections and closes, not of frames (a held button sends
// 200 a second); of each kind of line from one address, no more than LogLimiter lets by.
class ShareServer : public QObject
{
    Q_OBJECT

public:
    // Bytes of a frame before its CR: room for the panel's longest text (32767 characters)
    // twice over.
    static constexpr std::size_t kLongestFrame = 65536;
    static constexpr int kIdleMs = 3600 * 1000;
    static constexpr int kUnreadMs = 30000;
    static constexpr int kClosingMs = daemon::TcpLimits::kClosingMs;
    static constexpr int kSweepMs = daemon::TcpLimits::kSweepMs;
    static constexpr qint64 kMostUnsent = 4096;

    // sweepTimer: how often clients are looked at.
    ShareServer(ProjectorLine& line, int maxConnections, int maxPerAddress,
                IntervalTimer& sweepTimer, ProjectorLine::Clock now, QObject* parent = nullptr);
    ~ShareServer() override;

    bool listen(const daemon::ListenAddress& address);
    QString errorString() const { return server_.errorString(); }
    // Where it listens, with the port the system chose for port 0.
    daemon::ListenAddress address() const
    {
        return {server_.serverAddress(), server_.serverPort()};
    }
    // The clients served, not those being closed.
    int connectionCount() const;

signals:
    void logged(const QString& text, bool fault);

private:
    struct Client;
    friend class daemon::TcpClients<ShareServer, Client>;
    void accept();
    void serve(Client& client);
    void relay(Client& client);
    void close(Client& client, const QString& why, bool flush);
    void remove(const std::weak_ptr<Client>& client);
    void sweep();

    ProjectorLine& line_;
    ProjectorLine::Clock now_;
    QTcpServer server_;
    daemon::TcpClients<ShareServer, Client> clients_;
};

} // namespace vx37::share
