#include "http/http_front_end.h"
#include "link/memory_serial_control.h"
#include "link/virtual_clock.h"
#include "sim_process.h"
#include "test_registry.h"
#include "web/page_host.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTest>
#include <QWebSocket>

using namespace vx37;
using namespace vx37::http;

namespace {

struct FakePages final : web::PageHost
{
    std::optional<web::Asset> asset(const QString& path) const override
    {
        if (path != QLatin1String("/"))
            return std::nullopt;
        return web::Asset{"text/html", "<p>panel</p>"};
    }
    void openSession(QWebSocket* socket) override { sessions.emplace_back(socket); }
    int sessionCount() const override { return open + static_cast<int>(sessions.size()); }
    int open = 0;
    std::vector<std::unique_ptr<QWebSocket>> sessions;
};

// The front-end on a free loopback port, its line in memory and its clock virtual; the
// projector has answered, unless `up` is false.
struct HttpRig
{
    explicit HttpRig(std::string password = {}, HttpLimits limits = {}, bool up = true)
        : web(line, pages, std::move(password), limits, clock.createTimer(0), now)
    {
        line.start();
        if (up)
            port.receive("00\r");
        clock.advance(ProjectorLine::kFreshMs + 1);
        port.clearWritten();
        web.listen({QHostAddress::LocalHost, 0});
    }
    QByteArray origin() const
    {
        return "http://127.0.0.1:" + QByteArray::number(web.address().port);
    }

    VirtualClock clock;
    ProjectorLine::Clock now = [this] { return clock.now(); };
    MemorySerialControl port;
    ProjectorLine line{
        port, clock.createTimer(0), clock.createTimer(0), clock.createTimer(0), now, 5000, {"CR0"}};
    FakePages pages;
    HttpFrontEnd web;
};

bool answered(const QTcpSocket& socket)
{
    const QByteArray got = const_cast<QTcpSocket&>(socket).peek(1 << 20);
    const qsizetype end = got.indexOf("\r\n\r\n");
    const auto length = QRegularExpression(QStringLiteral("Content-Length: (\\d+)"))
                            .match(QString::fromLatin1(got.left(end)));
    return end >= 0 && (got.startsWith("HTTP/1.1 101") ||
                        got.size() >= end + 4 + length.captured(1).toLongLong());
}

// Sends a request and plays the projector (`reply` to the frame, "none": no answer); the
// answer's head and body, or "closed".
QByteArray exchange(HttpRig& rig, const QByteArray& request, const QByteArray& reply = {})
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, rig.web.address().port);
    socket.waitForConnected(5000);
    socket.write(request);
    for (int step = 0;
         step < 300 && !answered(socket) && socket.state() == QAbstractSocket::ConnectedState;
         ++step) {
        QTest::qWait(5);
        if (!rig.port.writes().empty() && reply == "none")
            rig.clock.advance(100);
        else if (!rig.port.writes().empty() && !reply.isEmpty() && step % 10 == 0)
            rig.port.receive(reply.toStdString());
    }
    return answered(socket) ? socket.readAll() : QByteArray("closed");
}

QByteArray post(const QByteArray& name, const QByteArray& headers = {}, const QByteArray& body = {})
{
    return "POST /api/commands/" + name + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers +
           "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

const QByteArray kUpgrade = "Connection: Upgrade\r\nUpgrade: websocket\r\nSec-WebSocket-Version: "
                            "13\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n";

} // namespace

class HttpTest : public QObject
{
    Q_OBJECT

private slots:
    // A request ("PORT" stands for the front-end's own), the projector's reply to its frame,
    // and the answer's status; with the password "secret" where set.
    void requests_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("password");
        QTest::addColumn<bool>("up");
        QTest::addColumn<bool>("full"); // of sessions and event sockets
        QTest::addColumn<QByteArray>("status");
        const QByteArray basic =
            "Authorization: Basic " + QByteArray(":secret").toBase64() + "\r\n";
        const auto get = [](const QByteArray& path, const QByteArray& headers = {}) {
            return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:PORT\r\n" + headers + "\r\n";
        };
        QTest::newRow("page") << get("/") << QByteArray() << false << true << false
                              << QByteArray("200");
        QTest::newRow("no such file")
            << get("/x.js") << QByteArray() << false << true << false << QByteArray("404");
        QTest::newRow("status") << get("/api/status") << QByteArray() << false << true << false
                                << QByteArray("200");
        QTest::newRow("commands") << get("/api/commands") << QByteArray() << false << true << false
                                  << QByteArray("200");
        QTest::newRow("openapi") << get("/api/openapi.json") << QByteArray() << false << true
                                 << false << QByteArray("200");
        QTest::newRow("answered") << post("power-off") << QByteArray("\x06\r") << false << true
                                  << false << QByteArray("200");
        QTest::newRow("{}") << post("power-off", {}, "{}") << QByteArray("\x06\r") << false << true
                            << false << QByteArray("200");
        QTest::newRow("64 KiB") << post("power-off", {}, QByteArray(65534, ' ') + "{}")
                                << QByteArray("\x06\r") << false << true << false
                                << QByteArray("200");
        QTest::newRow("64 KiB + 1") << post("power-off", {}, QByteArray(65535, ' ') + "{}")
                                    << QByteArray() << false << true << false << QByteArray("413");
        QTest::newRow("chunked") << post("power-off", "Transfer-Encoding: chunked\r\n")
                                 << QByteArray() << false << true << false << QByteArray("411");
        QTest::newRow("head over 16 KiB")
            << get("/api/status", "X: " + QByteArray(16384, 'x') + "\r\n") << QByteArray() << false
            << true << false << QByteArray("431");
        QTest::newRow("behind a command")
            << post("power-off") + get("/x.js") << QByteArray("\x06\r") << false << true << false
            << QByteArray("200");
        QTest::newRow("unexpected") << post("power-off") << QByteArray("ERR\r") << false << true
                                    << false << QByteArray("502");
        QTest::newRow("no answer") << post("power-off") << QByteArray("none") << false << true
                                   << false << QByteArray("504");
        QTest::newRow("line down")
            << post("power-off") << QByteArray() << false << false << false << QByteArray("503");
        QTest::newRow("unknown name")
            << post("power-of") << QByteArray() << false << true << false << QByteArray("404");
        QTest::newRow("a body") << post("power-off", {}, "{\"x\":1}") << QByteArray() << false
                                << true << false << QByteArray("400");
        QTest::newRow("GET a command") << get("/api/commands/power-off") << QByteArray() << false
                                       << true << false << QByteArray("405");
        QTest::newRow("own Origin")
            << post("power-off", "Origin: http://127.0.0.1\r\n") << QByteArray("\x06\r") << false
            << true << false << QByteArray("200");
        QTest::newRow("foreign Origin")
            << post("power-off", "Origin: http://evil.example\r\n") << QByteArray() << false << true
            << false << QByteArray("403");
        QTest::newRow("other port") << post("power-off", "Origin: http://127.0.0.1:81\r\n")
                                    << QByteArray() << false << true << false << QByteArray("403");
        QTest::newRow("events") << get("/api/events", kUpgrade) << QByteArray() << false << true
                                << false << QByteArray("101");
        QTest::newRow("events, foreign")
            << get("/api/events", kUpgrade + "Origin: http://evil.example\r\n") << QByteArray()
            << false << true << false << QByteArray("403");
        QTest::newRow("session") << get("/session", kUpgrade + "Origin: http://127.0.0.1:PORT\r\n")
                                 << QByteArray() << false << true << false << QByteArray("101");
        QTest::newRow("session, foreign")
            << get("/session", kUpgrade + "Origin: http://evil.example\r\n") << QByteArray()
            << false << true << false << QByteArray("403");
        QTest::newRow("sessions full") << get("/session", kUpgrade) << QByteArray() << false << true
                                       << true << QByteArray("503");
        QTest::newRow("rebound name")
            << get("/api/status").replace("127.0.0.1:PORT", "evil.example:PORT") << QByteArray()
            << false << true << false << QByteArray("403");
        QTest::newRow("rebound name, password")
            << get("/api/status", basic).replace("127.0.0.1:PORT", "evil.example:PORT")
            << QByteArray() << true << true << false << QByteArray("200");
        QTest::newRow("localhost") << get("/api/status").replace("127.0.0.1:PORT", "localhost:PORT")
                                   << QByteArray() << false << true << false << QByteArray("200");
        QTest::newRow("events full") << get("/api/events", kUpgrade) << QByteArray() << false
                                     << true << true << QByteArray("503");
        QTest::newRow("Basic") << get("/api/status", basic) << QByteArray() << true << true << false
                               << QByteArray("200");
        QTest::newRow("Basic, wrong") << get("/api/status", "Authorization: Basic Ondyb25n\r\n")
                                      << QByteArray() << true << true << false << QByteArray("401");
        QTest::newRow("Basic, none")
            << get("/api/status") << QByteArray() << true << true << false << QByteArray("401");
        QTest::newRow("POST, none")
            << post("power-off") << QByteArray() << true << true << false << QByteArray("401");
        QTest::newRow("events, none") << get("/api/events", kUpgrade) << QByteArray() << true
                                      << true << false << QByteArray("401");
        QTest::newRow("session, none") << get("/session", kUpgrade) << QByteArray() << true << true
                                       << false << QByteArray("401");
        QTest::newRow("login form")
            << get("/") << QByteArray() << true << true << false << QByteArray("200");
    }
    void requests()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, reply);
        QFETCH(bool, password);
        QFETCH(bool, up);
        QFETCH(bool, full);
        QFETCH(QByteArray, status);
        HttpLimits limits;
        limits.maxEventSockets = full ? 0 : limits.maxEventSockets;
        HttpRig rig(password ? "secret" : "", limits, up);
        rig.pages.open = full ? limits.maxSessions : 0;
        request.replace("PORT", QByteArray::number(rig.web.address().port));
        const QByteArray answer = exchange(rig, request, reply);
        QCOMPARE(answer.left(12), "HTTP/1.1 " + status);
        if (status == "101" && request.startsWith("GET /session"))
            QVERIFY(QTest::qWaitFor([&] { return rig.pages.sessions.size() == 1; }, 5000));
        else // Qt completes a refused upgrade too: it must never reach the page's host
            QVERIFY(!QTest::qWaitFor([&] { return !rig.pages.sessions.empty(); }, 200));
    }

    // A login sets a session cookie the API takes; wrong passwords, then too many.
    void cookie_login()
    {
        HttpRig rig("open sesame+");
        const auto login = [&](const QByteArray& password) {
            return exchange(
                rig, "POST /login HTTP/1.1\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                     "Content-Length: " +
                         QByteArray::number(password.size() + 9) + "\r\n\r\npassword=" + password);
        };
        const QByteArray welcome = login("open+sesame%2B");
        const auto cookie =
            QRegularExpression(QStringLiteral("Set-Cookie: (vx37session=[0-9a-f]{32}); Path=/; "
                                              "HttpOnly; SameSite=Strict\r\n"))
                .match(QString::fromLatin1(welcome));
        QVERIFY2(cookie.hasMatch(), welcome.constData());
        const QByteArray status =
            "GET /api/status HTTP/1.1\r\nCookie: " + cookie.captured(1).toLatin1() + "\r\n\r\n";
        QCOMPARE(exchange(rig, status).left(12), "HTTP/1.1 200");
        for (int tries = 0; tries < WebLogin::kTries; ++tries)
            QCOMPARE(login("wrong").left(12), "HTTP/1.1 401");
        QCOMPARE(login("open+sesame%2B").left(12), "HTTP/1.1 429");
        rig.clock.advance(WebLogin::kIdleMs);
        QCOMPARE(exchange(rig, status).left(12), "HTTP/1.1 401"); // idle too long
    }

    // HTTPS files that cannot be read are said as such, not taken for the address.
    void unreadable_tls()
    {
        HttpRig rig;
        QVERIFY(!rig.web.listen({QHostAddress::LocalHost, 0}, QStringLiteral("/nowhere/cert.pem"),
                                QStringLiteral("/nowhere/key.pem")));
        QVERIFY(rig.web.tlsFault());
        QVERIFY(rig.web.errorString().startsWith(
            QStringLiteral("cannot read the certificate /nowhere/cert.pem")));
    }

    // Hostile clients: beyond the caps, holding connections open with half a request.
    void holders()
    {
        HttpLimits limits;
        limits.maxPerAddress = 2;
        HttpRig rig({}, limits);
        std::vector<std::unique_ptr<QTcpSocket>> held;
        for (int i = 0; i < 3; ++i) {
            held.push_back(std::make_unique<QTcpSocket>());
            held.back()->connectToHost(QHostAddress::LocalHost, rig.web.address().port);
            QVERIFY(held.back()->waitForConnected(5000));
            held.back()->write("GET /api/status HTTP/1.1\r\n");
        }
        QVERIFY(QTest::qWaitFor([&] { return held[2]->peek(12) == "HTTP/1.1 503"; }, 5000));
        QCOMPARE(rig.web.connectionCount(), 2);
        rig.clock.advance(limits.idleMs);
        QVERIFY(QTest::qWaitFor([&] { return rig.web.connectionCount() == 0; }, 5000));
        QCOMPARE(exchange(rig, "GET /api/status HTTP/1.1\r\n\r\n").left(12), "HTTP/1.1 200");
    }

    // An event socket that never reads, or never answers a ping, is closed; the others go on.
    void hostile_events_data()
    {
        QTest::addColumn<bool>("reads"); // but answers no ping
        QTest::newRow("never reads") << false;
        QTest::newRow("never answers") << true;
    }
    void hostile_events()
    {
        QFETCH(bool, reads);
        HttpLimits limits;
        limits.maxUnsent = 64 * 1024;
        HttpRig rig({}, limits);
        QTcpSocket stuck;
        stuck.setReadBufferSize(4096);
        stuck.connectToHost(QHostAddress::LocalHost, rig.web.address().port);
        QVERIFY(stuck.waitForConnected(5000));
        stuck.write("GET /api/events HTTP/1.1\r\nHost: 127.0.0.1\r\n" + kUpgrade + "\r\n");
        QWebSocket reader;
        int received = 0;
        connect(&reader, &QWebSocket::textMessageReceived, [&] { ++received; });
        reader.open(
            QUrl(QStringLiteral("ws://127.0.0.1:%1/api/events").arg(rig.web.address().port)));
        QVERIFY(QTest::qWaitFor([&] { return rig.web.eventSocketCount() == 2 && received == 1; },
                                5000));
        const int steps = reads ? 2 * limits.idleMs / HttpLimits::kSweepMs : 20000;
        for (int step = 0; step < steps && rig.web.eventSocketCount() == 2; ++step) {
            if (reads) {
                stuck.readAll();
                rig.clock.advance(HttpLimits::kSweepMs);
                QTest::qWait(10); // for the reader's pong
            } else {
                emit rig.line.readingChanged("CR0");
                if (step % 100 == 0)
                    QTest::qWait(1);
            }
        }
        QCOMPARE(rig.web.eventSocketCount(), 1);
        QCOMPARE(reader.state(), QAbstractSocket::ConnectedState);
    }

    // vx37d with vx37-sim: curl's request turns the projector off.
    void power_off_end_to_end()
    {
        SimProcess sim("--power on");
        QVERIFY(sim.isServing());
        QProcess daemon;
        daemon.start(VX37D_PATH, {"--port", sim.link(), "--pjlink", "off", "--share", "off",
                                  "--http", "127.0.0.1:0"});
        QString log;
        const QRegularExpression ready(
            R"(web panel on http://127.0.0.1:(\d+)/[\s\S]*the projector answers)");
        QVERIFY(QTest::qWaitFor(
            [&] {
                log += QString::fromUtf8(daemon.readAllStandardError());
                return ready.match(log).hasMatch();
            },
            10000));
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, ready.match(log).captured(1).toUShort());
        socket.write(post("power-off"));
        QVERIFY(QTest::qWaitFor([&] { return answered(socket); }, 10000));
        QVERIFY(socket.readAll().startsWith("HTTP/1.1 200"));
        QVERIFY(
            QTest::qWaitFor([&] { return sim.linesWith(QStringLiteral("C 0 1 CR")) > 0; }, 5000));
        daemon.terminate();
        daemon.waitForFinished(5000);
    }
};

VX37_TEST(HttpTest)
#include "test_http.moc"
