#include "http/http_front_end.h"

#include "commands/button_table.h"
#include "ctl/command_line.h"
#include "ctl/command_names.h"
#include "http/status_json.h"
#include "line/named_command.h"
#include "tcp_clients.h"
#include "web/page_host.h"

#include <QFile>
#include <QHttpServerRequest>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslServer>
#include <QSysInfo>
#include <QTcpServer>
#include <QTimer>
#include <QUrlQuery>

namespace vx37::http {

namespace {

constexpr char kEventsPath[] = "/api/events";
constexpr char kJson[] = "application/json";

QByteArray header(const QHttpServerRequest& request, const QByteArray& name)
{
    for (const auto& [key, value] : request.headers())
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    return {};
}

// Writes a whole response; what Qt HttpServer's responder would, without tying the reply to
// the request object, which does not outlive the call.
void reply(QTcpSocket* socket, const QByteArray& status, const QByteArray& type,
           const QByteArray& body, const QByteArray& headers = {})
{
    if (!socket || socket->state() != QAbstractSocket::ConnectedState)
        return;
    QByteArray response = "HTTP/1.1 " + status + "\r\n";
    if (!type.isEmpty())
        response += "Content-Type: " + type + "\r\n";
    response += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    response += "Cache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\n";
    response += headers + "\r\n" + body;
    socket->write(response);
}

void replyJson(QTcpSocket* socket, const QByteArray& status, const QJsonDocument& document)
{
    reply(socket, status, kJson, document.toJson(QJsonDocument::Compact));
}

void replyError(QTcpSocket* socket, const QByteArray& status, const QString& error,
                const QByteArray& headers = {})
{
    reply(
        socket, status, kJson,
        QJsonDocument(QJsonObject{{QStringLiteral("error"), error}}).toJson(QJsonDocument::Compact),
        headers);
}

// A present Origin must be the page's own site: the host and port the browser asked for.
bool foreignOrigin(const QHttpServerRequest& request)
{
    const QByteArray origin = header(request, "origin");
    if (origin.isEmpty())
        return false;
    const QUrl url(QString::fromLatin1(origin));
    const int defaultPort = url.scheme() == QLatin1String("https") ? 443 : 80;
    const QString host = url.host().contains(QLatin1Char(':'))
                             ? QLatin1Char('[') + url.host() + QLatin1Char(']')
                             : url.host();
    QString asked = QString::fromLatin1(header(request, "host")).toLower();
    if (asked.lastIndexOf(QLatin1Char(':')) <= asked.lastIndexOf(QLatin1Char(']')))
        asked += QLatin1Char(':') + QString::number(defaultPort);
    return url.host().isEmpty() ||
           host + QLatin1Char(':') + QString::number(url.port(defaultPort)) != asked;
}

// Without a password, another site's page could reach vx37d through a name of its own
// made to point here (DNS rebinding): only this machine's names and IP addresses are taken.
bool ownHost(const QHttpServerRequest& request)
{
    QString host = QString::fromLatin1(header(request, "host")).toLower();
    host = host.left(host.lastIndexOf(QLatin1Char(':')) > host.lastIndexOf(QLatin1Char(']'))
                         ? host.lastIndexOf(QLatin1Char(':'))
                         : host.size());
    if (host.startsWith(QLatin1Char('[')))
        host = host.mid(1, host.size() - 2);
    const QString machine = QSysInfo::machineHostName().toLower();
    // No Host at all is no browser's.
    return host.isEmpty() || host == QLatin1String("localhost") || !QHostAddress(host).isNull() ||
           (!machine.isEmpty() && (host == machine || host.startsWith(machine + QLatin1Char('.'))));
}

QByteArray loginForm(bool wrong)
{
    return "<!DOCTYPE html><html lang=\"en\"><head><meta charset=\"utf-8\">"
           "<meta name=\"viewport\" content=\"width=device-width\"><title>VX37 panel</title>"
           "</head><body><form method=\"post\" action=\"/login\">"
           "<label>Password <input type=\"password\" name=\"password\" autofocus "
           "autocomplete=\"current-password\"></label> <button>Log in</button>" +
           QByteArray(wrong ? "<p role=\"alert\">Wrong password.</p>" : "") +
           "</form></body></html>";
}

QByteArray openApi()
{
    QFile file(QStringLiteral(":/vx37d/openapi.json"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The certificate and key, or the reason they cannot be used.
QString readTls(const QString& certFile, const QString& keyFile, QSslConfiguration& config)
{
    QFile cert(certFile);
    if (!cert.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read the certificate %1: %2")
            .arg(certFile, cert.errorString());
    const QList<QSslCertificate> chain = QSslCertificate::fromData(cert.readAll(), QSsl::Pem);
    if (chain.isEmpty())
        return QStringLiteral("no PEM certificate in %1").arg(certFile);
    QFile keyIn(keyFile);
    if (!keyIn.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read the key %1: %2").arg(keyFile, keyIn.errorString());
    const QByteArray pem = keyIn.readAll();
    QSslKey key;
    for (const QSsl::KeyAlgorithm algorithm : {QSsl::Rsa, QSsl::Ec, QSsl::Dsa})
        if (key.isNull())
            key = QSslKey(pem, algorithm, QSsl::Pem);
    if (key.isNull())
        return QStringLiteral("no PEM private key (without a passphrase) in %1").arg(keyFile);
    config = QSslConfiguration::defaultConfiguration();
    config.setLocalCertificate(chain.first());
    config.setLocalCertificateChain(chain);
    config.setPrivateKey(key);
    return {};
}

} // namespace

HttpFrontEnd::HttpFrontEnd(ProjectorLine& line, web::PageHost& pages, std::string password,
                           HttpLimits limits, IntervalTimer& sweepTimer, ProjectorLine::Clock now,
                           QObject* parent)
    : QAbstractHttpServer(parent), line_(line), pages_(pages), login_(std::move(password), now),
      limits_(limits), now_(now), gate_(limits, sweepTimer, now)
{
    connect(&gate_, &ConnectionGate::logged, this, &HttpFrontEnd::logged);
    connect(&gate_, &ConnectionGate::swept, this, &HttpFrontEnd::sweepEvents);
    connect(this, &QAbstractHttpServer::newWebSocketConnection, this,
            &HttpFrontEnd::takeWebSockets);
    connect(&line_, &ProjectorLine::readingChanged, this, [this](const std::string& code) {
        if (events_.empty())
            return;
        for (const StatusReading& reading : statusReadings())
            if (reading.code == code)
                publish({{QLatin1String(reading.key), readingJson(line_, code, now_())}});
    });
    connect(&line_, &ProjectorLine::upChanged, this, [this](bool up) {
        publish({{QStringLiteral("line"), up ? QStringLiteral("up") : QStringLiteral("down")}});
    });
}

HttpFrontEnd::~HttpFrontEnd()
{
    for (const EventSocket& events : events_)
        events.socket->disconnect(this); // its end is no news to a table being taken apart
}

bool HttpFrontEnd::listen(const ListenAddress& address, const QString& certFile,
                          const QString& keyFile)
{
    std::unique_ptr<QTcpServer> server;
    if (!certFile.isEmpty() || !keyFile.isEmpty()) {
        QSslConfiguration config;
        error_ = readTls(certFile, keyFile, config);
        if ((tlsFault_ = !error_.isEmpty()))
            return false;
        auto ssl = std::make_unique<GatedServer<QSslServer>>(gate_);
        ssl->setSslConfiguration(config);
        server = std::move(ssl);
        tls_ = true;
    } else {
        server = std::make_unique<GatedServer<QTcpServer>>(gate_);
    }
    if (!server->listen(address.address, address.port)) {
        error_ = server->errorString();
        return false;
    }
    server_ = server.release();
    bind(server_); // it takes the server as its child
    return true;
}

ListenAddress HttpFrontEnd::address() const
{
    return server_ ? ListenAddress{server_->serverAddress(), server_->serverPort()}
                   : ListenAddress{};
}

QString HttpFrontEnd::pageUrl() const
{
    QHostAddress host = address().address;
    if (host == QHostAddress::Any || host == QHostAddress::AnyIPv4 || host == QHostAddress::AnyIPv6)
        host = QHostAddress::LocalHost; // what this machine's browser opens
    const QString name = host.protocol() == QAbstractSocket::IPv6Protocol
                             ? QLatin1Char('[') + host.toString() + QLatin1Char(']')
                             : host.toString();
    return (tls_ ? QStringLiteral("https://") : QStringLiteral("http://")) + name +
           QLatin1Char(':') + QString::number(address().port) + QLatin1Char('/');
}

QByteArray HttpFrontEnd::cookieFlags() const
{
    return "; Path=/; HttpOnly; SameSite=Strict" + QByteArray(tls_ ? "; Secure" : "");
}

bool HttpFrontEnd::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket)
{
    // A request behind a command still running would be answered first, out of order: it
    // is dropped, and the connection closed after the command's answer.
    if (const auto found = commandsRunning_.find(socket);
        found != commandsRunning_.end() && found->second.socket == socket) {
        found->second.pipelined = true;
        return true;
    }
    const QString path = request.url().path();
    const bool post = request.method() == QHttpServerRequest::Method::Post;
    const bool upgrade = header(request, "upgrade").compare("websocket", Qt::CaseInsensitive) == 0;
    if (!login_.required() && !ownHost(request)) {
        replyError(socket, "403 Forbidden",
                   QStringLiteral("open the panel by this machine's address"));
        return true;
    }
    if ((post || upgrade) && foreignOrigin(request)) {
        replyError(socket, "403 Forbidden", QStringLiteral("another site's page may not do this"));
        return true;
    }
    const WebLogin::Outcome verdict =
        login_.admits(daemon::addressOf(*socket).first, header(request, "authorization"),
                      header(request, "cookie"));
    const bool admitted = verdict == WebLogin::Outcome::Welcome;
    if (verdict == WebLogin::Outcome::TooMany)
        replyError(socket, "429 Too Many Requests",
                   QStringLiteral("too many wrong passwords; wait a minute"),
                   "Retry-After: 60\r\n");
    else if (path == QLatin1String("/login"))
        login(request, socket);
    else if (path == QLatin1String(web::kSessionPath) && upgrade) {
        if (!admitted)
            replyError(socket, "401 Unauthorized", QStringLiteral("log in first"));
        else if (pages_.sessionCount() >= limits_.maxSessions)
            replyError(socket, "503 Service Unavailable",
                       QStringLiteral("%1 panel pages are open already").arg(limits_.maxSessions));
        else
            admitUpgrade(socket); // no answer, and Qt takes the upgrade
    } else if (path == QLatin1String(kEventsPath) && upgrade) {
        if (!admitted)
            replyError(socket, "401 Unauthorized", QStringLiteral("the password is needed"),
                       "WWW-Authenticate: Basic realm=\"vx37d\"\r\n");
        else if (eventSocketCount() >= limits_.maxEventSockets)
            replyError(
                socket, "503 Service Unavailable",
                QStringLiteral("%1 event sockets are open already").arg(limits_.maxEventSockets));
        else
            admitUpgrade(socket);
    } else if (upgrade)
        replyError(socket, "404 Not Found", QStringLiteral("no WebSocket here"));
    else if (path.startsWith(QLatin1String("/api/")))
        api(request, socket, path, admitted);
    else
        page(request, socket, admitted);
    if (upgrade && socket->bytesToWrite() > 0)
        socket->disconnectFromHost(); // refused: Qt would leave it open, going nowhere
    gate_.checkUnsent(socket);
    return true;
}

void HttpFrontEnd::missingHandler(const QHttpServerRequest&, QTcpSocket* socket)
{
    replyError(socket, "404 Not Found", QStringLiteral("nothing here"));
}

void HttpFrontEnd::page(const QHttpServerRequest& request, QTcpSocket* socket, bool admitted)
{
    const QString path = request.url().path();
    if (request.method() != QHttpServerRequest::Method::Get)
        return replyError(socket, "405 Method Not Allowed", QStringLiteral("GET only"),
                          "Allow: GET\r\n");
    if (!admitted && path == QLatin1String("/"))
        return reply(socket, "200 OK", "text/html; charset=utf-8", loginForm(false),
                     "Content-Security-Policy: frame-ancestors 'none'\r\n");
    if (!admitted)
        return replyError(socket, "401 Unauthorized", QStringLiteral("log in first"));
    const std::optional<web::Asset> asset = pages_.asset(path);
    if (!asset)
        return replyError(socket, "404 Not Found", QStringLiteral("nothing here"));
    // No other site's page may frame the panel and steer clicks into it.
    reply(socket, "200 OK", asset->contentType, asset->body,
          "Content-Security-Policy: frame-ancestors 'none'\r\n");
}

void HttpFrontEnd::login(const QHttpServerRequest& request, QTcpSocket* socket)
{
    if (request.method() != QHttpServerRequest::Method::Post)
        return replyError(socket, "405 Method Not Allowed", QStringLiteral("POST only"),
                          "Allow: POST\r\n");
    if (!login_.required())
        return reply(socket, "303 See Other", {}, {}, "Location: /\r\n");
    // A form's blanks come as '+', its '+' as %2B.
    const QByteArray password = QUrlQuery(QString::fromUtf8(request.body()).replace(u'+', u' '))
                                    .queryItemValue(QStringLiteral("password"), QUrl::FullyDecoded)
                                    .toUtf8();
    const auto address = daemon::addressOf(*socket);
    QByteArray token;
    switch (login_.login(address.first, password, token)) {
    case WebLogin::Outcome::Welcome:
        gate_.log(address.first, address.second + QStringLiteral(" logged in"), false);
        return reply(socket, "303 See Other", {}, {},
                     "Location: /\r\nSet-Cookie: " + QByteArray(WebLogin::kCookie) + '=' + token +
                         cookieFlags() + "\r\n");
    case WebLogin::Outcome::Wrong:
        gate_.log(address.first, address.second + QStringLiteral(" gave a wrong password"), true);
        return reply(socket, "401 Unauthorized", "text/html; charset=utf-8", loginForm(true));
    case WebLogin::Outcome::TooMany:
        return replyError(socket, "429 Too Many Requests",
                          QStringLiteral("too many wrong passwords; wait a minute"),
                          "Retry-After: 60\r\n");
    }
}

void HttpFrontEnd::api(const QHttpServerRequest& request, QTcpSocket* socket, const QString& path,
                       bool admitted)
{
    if (!admitted)
        return replyError(socket, "401 Unauthorized", QStringLiteral("the password is needed"),
                          "WWW-Authenticate: Basic realm=\"vx37d\"\r\n");
    const bool get = request.method() == QHttpServerRequest::Method::Get;
    static const QString commandPrefix = QStringLiteral("/api/commands/");
    if (path.startsWith(commandPrefix)) {
        if (request.method() != QHttpServerRequest::Method::Post)
            return replyError(socket, "405 Method Not Allowed", QStringLiteral("POST only"),
                              "Allow: POST\r\n");
        return runCommand(request, socket, path.mid(commandPrefix.size()));
    }
    const bool known = path == QLatin1String("/api/status") ||
                       path == QLatin1String("/api/commands") ||
                       path == QLatin1String("/api/openapi.json");
    if (!known)
        return replyError(socket, "404 Not Found", QStringLiteral("no such API"));
    if (!get)
        return replyError(socket, "405 Method Not Allowed", QStringLiteral("GET only"),
                          "Allow: GET\r\n");
    if (path == QLatin1String("/api/status"))
        return replyJson(socket, "200 OK", QJsonDocument(statusJson(line_, now_())));
    if (path == QLatin1String("/api/openapi.json"))
        return reply(socket, "200 OK", kJson, openApi());
    QJsonArray names;
    for (const ctl::ButtonName& button : ctl::buttonNames())
        names.append(QString::fromLatin1(button.name.data(), button.name.size()));
    for (const ctl::TypedQueryName& query : ctl::typedQueryNames())
        names.append(QString::fromLatin1(query.name.data(), query.name.size()));
    replyJson(socket, "200 OK", QJsonDocument(names));
}

void HttpFrontEnd::runCommand(const QHttpServerRequest& request, QTcpSocket* socket,
                              const QString& name)
{
    const QByteArray body = request.body().trimmed();
    if (!body.isEmpty() && QJsonDocument::fromJson(body) != QJsonDocument(QJsonObject()))
        return replyError(socket, "400 Bad Request",
                          QStringLiteral("the body is empty or {}: the name says it all"));
    const auto [address, peer] = daemon::addressOf(*socket);
    gate_.log(address, peer + QStringLiteral(" runs ") + name.left(40), false);
    commandsRunning_[socket] = {socket, false};
    runNamedCommand(
        line_, name.toStdString(),
        [key = socket, socket = QPointer<QTcpSocket>(socket), this](const NamedAnswer& answer) {
            static constexpr const char* kStatus[] = {"200 OK", "502 Bad Gateway",
                                                      "504 Gateway Timeout",
                                                      "503 Service Unavailable", "404 Not Found"};
            bool pipelined = false;
            if (const auto running = commandsRunning_.find(key);
                running != commandsRunning_.end() && running->second.socket == socket) {
                pipelined = running->second.pipelined;
                commandsRunning_.erase(running);
            }
            if (!socket)
                return;
            reply(socket, kStatus[static_cast<int>(answer.outcome)], kJson,
                  QByteArray::fromStdString(answer.json), pipelined ? "Connection: close\r\n" : "");
            if (pipelined)
                socket->disconnectFromHost();
            gate_.checkUnsent(socket);
        });
}

void HttpFrontEnd::admitUpgrade(QTcpSocket* socket)
{
    const std::pair key(socket->peerAddress().toString(), socket->peerPort());
    upgradesAdmitted_.insert(key);
    connect(socket, &QObject::destroyed, this, [this, key] { upgradesAdmitted_.erase(key); });
}

void HttpFrontEnd::takeWebSockets()
{
    while (hasPendingWebSocketConnections()) {
        std::unique_ptr<QWebSocket> socket = nextPendingWebSocketConnection();
        if (!socket)
            break;
        if (upgradesAdmitted_.erase({socket->peerAddress().toString(), socket->peerPort()}) == 0) {
            // Refused already, its refusal on the way and its connection closing: what it
            // sends goes nowhere until it is gone.
            QWebSocket* refused = socket.release();
            connect(refused, &QWebSocket::disconnected, refused, &QObject::deleteLater);
            QTimer::singleShot(kRefusedCloseMs, refused, [refused] { refused->abort(); });
            continue;
        }
        if (socket->requestUrl().path() == QLatin1String(kEventsPath)) {
            openEvents(std::move(socket));
        } else if (pages_.sessionCount() >= limits_.maxSessions) {
            // Upgrades admitted at once may pass the cap together: the later ones go.
            socket->close(QWebSocketProtocol::CloseCodePolicyViolated);
        } else {
            socket->setMaxAllowedIncomingMessageSize(static_cast<quint64>(limits_.maxBody));
            pages_.openSession(socket.release());
        }
    }
}

void HttpFrontEnd::openEvents(std::unique_ptr<QWebSocket> socket)
{
    if (eventSocketCount() >= limits_.maxEventSockets) {
        socket->close(QWebSocketProtocol::CloseCodePolicyViolated);
        return;
    }
    // Nothing is asked of it: what it sends is dropped, and kept small.
    socket->setMaxAllowedIncomingMessageSize(1024);
    QWebSocket* raw = socket.get();
    connect(raw, &QWebSocket::pong, this, [this, raw] {
        for (EventSocket& events : events_)
            if (events.socket.get() == raw)
                events.lastPong = now_();
    });
    connect(raw, &QWebSocket::disconnected, this, [this, raw] {
        const auto found =
            std::find_if(events_.begin(), events_.end(),
                         [raw](const EventSocket& e) { return e.socket.get() == raw; });
        if (found == events_.end())
            return;
        raw->disconnect(this);
        found->socket.release()->deleteLater(); // it is inside its own signal
        events_.erase(found);
    });
    raw->sendTextMessage(
        QString::fromUtf8(QJsonDocument(statusJson(line_, now_())).toJson(QJsonDocument::Compact)));
    events_.push_back({std::move(socket), now_(), now_()});
}

void HttpFrontEnd::publish(const QJsonObject& change)
{
    const QString text = QString::fromUtf8(QJsonDocument(change).toJson(QJsonDocument::Compact));
    std::vector<QWebSocket*> slow;
    for (EventSocket& events : events_) {
        if (events.socket->bytesToWrite() > limits_.maxUnsent)
            slow.push_back(events.socket.get());
        else
            events.socket->sendTextMessage(text);
    }
    for (QWebSocket* socket : slow) {
        const ListenAddress peer{socket->peerAddress(), socket->peerPort()};
        gate_.log(peer.address.toString(),
                  peer.text() + QStringLiteral(" closed: its events left unread"), true);
        socket->abort();
    }
}

void HttpFrontEnd::sweepEvents(std::int64_t now)
{
    std::vector<QWebSocket*> idle;
    for (EventSocket& events : events_) {
        if (now - events.lastPong >= limits_.idleMs) {
            idle.push_back(events.socket.get());
        } else if (now - events.lastPing >= limits_.idleMs / 3) {
            events.lastPing = now; // a few pings before it counts as gone
            events.socket->ping();
        }
    }
    for (QWebSocket* socket : idle)
        socket->abort();
}

} // namespace vx37::http
