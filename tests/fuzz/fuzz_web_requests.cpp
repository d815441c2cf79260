// Whatever a browser or any other peer sends the web front-end: bytes on one connection,
// through the connection gate and Qt HttpServer to the routes, the password and the API
// bodies, with a password set. Every answer is an HTTP/1.1 status line or a WebSocket
// upgrade, and a command is never run for a request that carries no credential.
#include "http/http_front_end.h"
#include "link/memory_serial_control.h"
#include "link/virtual_clock.h"
#include "web/page_host.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpSocket>
#include <QWebSocket>

#include <cstdint>
#include <cstdlib>

using namespace vx37;

namespace {

struct Pages final : web::PageHost
{
    std::optional<web::Asset> asset(const QString& path) const override
    {
        if (path != QLatin1String("/"))
            return std::nullopt;
        return web::Asset{"text/html", "<p>panel</p>"};
    }
    void openSession(QWebSocket* socket) override { socket->deleteLater(); }
    int sessionCount() const override { return 0; }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_web_requests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    VirtualClock clock;
    MemorySerialControl port;
    const ProjectorLine::Clock now = [&clock] { return clock.now(); };
    ProjectorLine line(port, clock.createTimer(0), clock.createTimer(0), clock.createTimer(0), now,
                       5000, {"CR0"});
    line.start();
    port.receive("00\r");
    Pages pages;
    http::HttpFrontEnd web(line, pages, "secret", {}, clock.createTimer(0), now);
    if (!web.listen({QHostAddress::LocalHost, 0}))
        std::abort();

    const QByteArray request(reinterpret_cast<const char*>(data), qsizetype(size));
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, web.address().port);
    socket.write(request);
    QByteArray answer;
    // Until the front-end has answered and closed, or a little while has passed: a
    // request cut short is left waiting by design.
    for (QElapsedTimer waited; !waited.isValid() || !waited.hasExpired(20);) {
        if (!waited.isValid())
            waited.start();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        answer += socket.readAll();
        if (socket.state() == QAbstractSocket::UnconnectedState)
            break;
    }
    clock.advance(10000); // any frame the request put on the line has its time
    QCoreApplication::processEvents();
    answer += socket.readAll();

    if (!answer.isEmpty() && !answer.startsWith("HTTP/1.1 "))
        std::abort();
    const bool credential = request.contains("uthorization") || request.contains("ookie");
    // The line's own poll asks CR0; anything else came from a request.
    if (!credential && !QByteArray::fromStdString(port.written()).replace("CR0\r", "").isEmpty())
        std::abort();
    return 0;
}
