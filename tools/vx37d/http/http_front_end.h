#pragma once

#include "http/connection_gate.h"
#include "http/web_login.h"
#include "line/projector_line.h"
#include "options.h"

#include <QAbstractHttpServer>
#include <QPointer>
#include <QWebSocket>

#include <map>
#include <set>
#include <memory>
#include <string>
#include <vector>

namespace vx37::web {
class PageHost;
}

namespace vx37::http {

using daemon::ListenAddress;

// vx37d's web front-end: the panel's page and its sessions (through a PageHost), and a
// JSON API on the line owner: GET /api/status, GET /api/commands, POST /api/commands/NAME,
// GET /api/openapi.json, and the WebSocket /api/events. With a password, the page asks for
// it once and keeps a session cookie, and every API call needs it (HTTP Basic, any user
// name) or the cookie. POSTs and WebSockets that carry a foreign Origin are refused. The
// bounds are the ConnectionGate's and the caps on sessions and event sockets.
class HttpFrontEnd : public QAbstractHttpServer
{
    Q_OBJECT

public:
    HttpFrontEnd(ProjectorLine& line, web::PageHost& pages, std::string password, HttpLimits limits,
                 IntervalTimer& sweepTimer, ProjectorLine::Clock now, QObject* parent = nullptr);
    ~HttpFrontEnd() override;

    // Listens; HTTPS when given a certificate and key (PEM files). False with errorString()
    // when the files cannot be read or the address taken.
    bool listen(const ListenAddress& address, const QString& certFile = {},
                const QString& keyFile = {});
    QString errorString() const { return error_; }
    // Whether listen() failed on the certificate or key, not on the address.
    bool tlsFault() const { return tlsFault_; }
    ListenAddress address() const;
    // What a user opens: "http://127.0.0.1:8037/".
    QString pageUrl() const;
    int eventSocketCount() const { return static_cast<int>(events_.size()); }
    int connectionCount() const { return gate_.connectionCount(); }

signals:
    void logged(const QString& text, bool fault);

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    struct EventSocket
    {
        std::unique_ptr<QWebSocket> socket;
        std::int64_t lastPong = 0;
        std::int64_t lastPing = 0;
    };
    void page(const QHttpServerRequest& request, QTcpSocket* socket, bool admitted);
    void login(const QHttpServerRequest& request, QTcpSocket* socket);
    void api(const QHttpServerRequest& request, QTcpSocket* socket, const QString& path,
             bool admitted);
    void runCommand(const QHttpServerRequest& request, QTcpSocket* socket, const QString& name);
    void takeWebSockets();
    void openEvents(std::unique_ptr<QWebSocket> socket);
    void publish(const QJsonObject& change);
    void sweepEvents(std::int64_t now);
    QByteArray cookieFlags() const;

    ProjectorLine& line_;
    web::PageHost& pages_;
    WebLogin login_;
    HttpLimits limits_;
    ProjectorLine::Clock now_;
    ConnectionGate gate_;
    QTcpServer* server_ = nullptr;
    bool tls_ = false;
    bool tlsFault_ = false;
    QString error_;
    std::vector<EventSocket> events_;
    struct Running
    {
        QPointer<QTcpSocket> socket; // null once gone: the address may be another's
        bool pipelined = false;      // a request came behind the command
    };
    std::map<QTcpSocket*, Running> commandsRunning_;
    // The connections (peer address and port) whose WebSocket upgrade was admitted. Qt
    // completes any upgrade, even one answered with a refusal, so a WebSocket is taken only
    // from one of these.
    void admitUpgrade(QTcpSocket* socket);
    static constexpr int kRefusedCloseMs = 5000;
    std::set<std::pair<QString, quint16>> upgradesAdmitted_;
};

} // namespace vx37::http
