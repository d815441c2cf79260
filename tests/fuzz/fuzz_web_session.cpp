// A page's messages, the projector's replies and virtual time into a session, as records
// [op % 4][...]: a message [length][bytes], [ms / 8], a reply [length][bytes], or the page
// stops (or starts) answering pings, or goes. Every message out is one JSON object, none
// follows the end, and no button stays held once the page has gone.
#include "link/memory_serial_control.h"
#include "web/virtual_session.h"

#include <QCoreApplication>
#include <QJsonDocument>

#include <cstdint>
#include <cstdlib>

using namespace vx37;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_web_session";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv); // for the session's queued form messages
    VirtualClock clock;
    MemorySerialControl port;
    ProjectorLine line(port, clock.createTimer(0), clock.createTimer(0), clock.createTimer(0),
                       [&clock] { return clock.now(); }, 5000, {"CR0"});
    line.start();
    port.receive("00\r");
    web::VirtualSession page(line, clock);
    web::PanelSession& session = page.session;
    bool pongs = true;
    bool finished = false;
    QObject::connect(&session, &web::PanelSession::message, [&](const QByteArray& json) {
        if (finished || !QJsonDocument::fromJson(json).isObject())
            std::abort();
    });
    QObject::connect(&session, &web::PanelSession::ping, [&] { pongs ? session.pong() : void(); });
    QObject::connect(&session, &web::PanelSession::finished, [&] { finished = true; });
    session.start();

    std::size_t i = 0;
    const auto next = [&] { return i < size ? data[i++] : std::uint8_t(0); };
    const auto bytes = [&] {
        const std::size_t length = std::min<std::size_t>(next(), size - i);
        i += length;
        return QByteArray(reinterpret_cast<const char*>(data + i - length), qsizetype(length));
    };
    while (i < size) {
        const std::uint8_t op = next() % 4;
        if (op == 0) {
            session.receive(bytes());
        } else if (op == 1) {
            clock.advance(next() * 8);
        } else if (op == 2) {
            port.receive(bytes().toStdString());
        } else if (!(next() & 1)) {
            pongs = !pongs;
        } else {
            session.drop();
            if (session.panel().heldButton())
                std::abort();
        }
        QCoreApplication::sendPostedEvents();
    }
    return 0;
}
