#include "http/connection_gate.h"

#include "tcp_clients.h"

#include <algorithm>

namespace vx37::http {

namespace {

constexpr int kSystemSendBuffer = 64 * 1024;

// The value of a header in a head, or a null array; duplicates counted in `count`.
QByteArray headerValue(const QByteArray& head, const QByteArray& name, int& count)
{
    QByteArray value;
    count = 0;
    for (const QByteArray& line : head.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0) {
            value = line.mid(colon + 1).trimmed();
            ++count;
        }
    }
    return value;
}

} // namespace

ConnectionGate::ConnectionGate(HttpLimits limits, IntervalTimer& sweepTimer,
                               std::function<std::int64_t()> now, QObject* parent)
    : QObject(parent), limits_(limits), sweepTimer_(sweepTimer), now_(std::move(now))
{
    sweepTimer_.setInterval(HttpLimits::kSweepMs);
    sweepTimer_.setTickHandler([this] { sweep(); });
}

bool ConnectionGate::admit(QTcpSocket* socket)
{
    const auto [address, peer] = daemon::addressOf(*socket);
    const auto fromIt = std::count_if(connections_.begin(), connections_.end(),
                                      [&from = address](const auto& c) { return c.second.address == from; });
    QString refusal;
    if (connectionCount() >= limits_.maxConnections)
        refusal = QStringLiteral("%1 connections open already").arg(limits_.maxConnections);
    else if (fromIt >= limits_.maxPerAddress)
        refusal = QStringLiteral("%1 connections from it open already").arg(limits_.maxPerAddress);
    if (!refusal.isEmpty()) {
        log(address, peer + QStringLiteral(" refused: ") + refusal, true);
        socket->write("HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\n"
                      "Connection: close\r\n\r\n");
        socket->disconnectFromHost();
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        return false;
    }
    // Qt HttpServer keeps a request in the socket's buffer until it is whole: room for the
    // largest admitted one, and no more.
    socket->setReadBufferSize(limits_.maxHead + limits_.maxBody + 4096);
    // What the system holds for a peer that does not read is bounded too, so that
    // bytesToWrite() tells soon.
    socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, kSystemSendBuffer);
    Connection& connection = connections_[socket];
    connection.socket = socket;
    connection.address = address;
    connection.since = now_();
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
        if (const auto found = connections_.find(socket); found != connections_.end())
            scan(found->second);
    });
    connect(socket, &QObject::destroyed, this, [this, socket] { connections_.erase(socket); });
    if (!sweepTimer_.isActive())
        sweepTimer_.start();
    return true;
}

void ConnectionGate::scan(Connection& connection)
{
    QTcpSocket& socket = *connection.socket;
    if (connection.refused) {
        socket.readAll();
        return;
    }
    if (connection.upgraded || !socket.isOpen())
        return;
    // Qt HttpServer reads everything on each readyRead, after this: what is there is new.
    const QByteArray fresh = socket.peek(socket.bytesAvailable());
    qsizetype at = 0;
    while (at < fresh.size()) {
        if (connection.bodyLeft > 0) {
            const qint64 taken = std::min<qint64>(connection.bodyLeft, fresh.size() - at);
            connection.bodyLeft -= taken;
            at += taken;
            if (connection.bodyLeft == 0)
                connection.since = now_();
            continue;
        }
        const qsizetype old = connection.head.size();
        connection.head += fresh.mid(at);
        const qsizetype end = connection.head.indexOf("\r\n\r\n", std::max<qsizetype>(0, old - 3));
        if (end < 0 || end > limits_.maxHead) {
            if (end > limits_.maxHead || connection.head.size() > limits_.maxHead)
                refuse(connection, "431 Request Header Fields Too Large",
                       QStringLiteral("a request head over %1 bytes").arg(limits_.maxHead));
            return;
        }
        at += end + 4 - old;
        const QByteArray head = connection.head.left(end);
        connection.head.clear();
        int lengths = 0;
        int encodings = 0;
        int upgrades = 0;
        const QByteArray length = headerValue(head, "content-length", lengths);
        headerValue(head, "transfer-encoding", encodings);
        const QByteArray upgrade = headerValue(head, "upgrade", upgrades);
        bool number = lengths == 0;
        const qint64 bodySize = lengths == 1 ? length.toLongLong(&number) : 0;
        if (encodings > 0)
            return refuse(connection, "411 Length Required",
                          QStringLiteral("a body without a length"));
        if (!number || lengths > 1 || bodySize < 0)
            return refuse(connection, "400 Bad Request", QStringLiteral("a body length unclear"));
        if (bodySize > limits_.maxBody)
            return refuse(connection, "413 Content Too Large",
                          QStringLiteral("a body of %1 bytes").arg(bodySize));
        connection.bodyLeft = bodySize;
        if (bodySize == 0)
            connection.since = now_();
        if (upgrade.compare("websocket", Qt::CaseInsensitive) == 0) {
            connection.upgraded = true;
            return;
        }
    }
}

void ConnectionGate::refuse(Connection& connection, const QByteArray& status, const QString& why)
{
    QTcpSocket& socket = *connection.socket;
    log(connection.address, daemon::addressOf(socket).second + QStringLiteral(" refused: ") + why,
        true);
    connection.refused = true;
    connection.head.clear();
    socket.readAll(); // never parsed
    socket.write("HTTP/1.1 " + status + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    socket.disconnectFromHost();
}

void ConnectionGate::checkUnsent(QTcpSocket* socket)
{
    if (socket && socket->bytesToWrite() > limits_.maxUnsent) {
        if (const auto found = connections_.find(socket); found != connections_.end())
            log(found->second.address,
                daemon::addressOf(*socket).second +
                    QStringLiteral(" closed: %1 bytes left unread").arg(socket->bytesToWrite()),
                true);
        socket->abort();
    }
}

void ConnectionGate::sweep()
{
    const std::int64_t now = now_();
    // Collected first: closing one changes the table.
    std::vector<QPointer<QTcpSocket>> idle;
    std::vector<QPointer<QTcpSocket>> all;
    for (const auto& [socket, connection] : connections_) {
        all.push_back(connection.socket);
        if (!connection.upgraded && !connection.refused && now - connection.since >= limits_.idleMs)
            idle.push_back(connection.socket);
    }
    for (const QPointer<QTcpSocket>& socket : idle)
        if (socket)
            socket->abort();
    for (const QPointer<QTcpSocket>& socket : all)
        checkUnsent(socket);
    emit swept(now);
    for (const QString& told : limiter_.ended(now))
        emit logged(QStringLiteral("web: ") + told, true);
    if (connections_.empty() && limiter_.empty())
        sweepTimer_.stop();
}

void ConnectionGate::log(const QString& address, const QString& text, bool fault)
{
    // Kept apart by kind: the word after the peer ("refused:", "runs", ...).
    if (limiter_.admit(address + QLatin1Char(' ') + text.section(QLatin1Char(' '), 1, 1), now_()))
        emit logged(QStringLiteral("web: ") + text, fault);
    if (!sweepTimer_.isActive())
        sweepTimer_.start();
}

} // namespace vx37::http
