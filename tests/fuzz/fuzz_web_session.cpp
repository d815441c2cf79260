// Any sequence of messages a page can send to its panel session, with the projector
// answering or not and virtual time passing between them: nothing crashes, every message
// the session sends is one JSON object, none follows its end, and no button stays held
// once the page has gone.
//
// Input: records of [op][...]: op % 5 == 0: [length][message]; 1: an event built from
// [kind][control] bytes; 2: [ms / 8] of virtual time; 3: the projector answers what waits
// with [length][reply]; 4: the page stops (or starts) answering pings, or goes away.
#include "web/panel_session.h"

#include "commands/button_table.h"
#include "link/memory_serial_control.h"
#include "link/virtual_clock.h"

#include <QCoreApplication>
#include <QJsonDocument>

#include <cstdint>
#include <cstdlib>

using namespace vx37;

namespace {

const char* const kKinds[] = {"click", "down", "up", "dblclick", "key", "text"};
const char* const kOthers[] = {"Command16", "Command33", "Command34", "Command95", "Command96",
                               "Option1",   "Option2",   "Option9",   "Option10",  "Image1",
                               "Text1",     "Label11",   ""};

QByteArray builtEvent(std::uint8_t kind, std::uint8_t control)
{
    const auto buttons = buttonTable();
    const std::size_t others = std::size(kOthers);
    const QString name = control % (buttons.size() + others) < buttons.size()
                             ? QString::fromUtf8(buttons[control % buttons.size()].control)
                             : QString::fromUtf8(kOthers[control % others]);
    const QString k = QString::fromUtf8(kKinds[kind % std::size(kKinds)]);
    return QStringLiteral(R"({"event":"%1","control":"%2","key":"%3","ctrl":%4,"text":"%5"})")
        .arg(k, name, QChar(0x20 + control % 0x60), (kind & 0x80) ? "true" : "false",
             QString(kind % 7, QChar(control)))
        .toUtf8();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_web_session";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    VirtualClock clock;
    MemorySerialControl port;
    ProjectorLine line(port, clock.createTimer(0), clock.createTimer(0), clock.createTimer(0),
                       [&clock] { return clock.now(); }, 5000, {"CR0"});
    line.start();
    port.receive("00\r");
    web::PanelSession session(
        line, QStringLiteral("/dev/ttyS0"),
        {{clock.createTimer(kDesignRepeatInterval), clock.createTimer(kDesignReplyTimeout),
          clock.createTimer(kOptionFrameInterval), clock.createTimer(kDesignDisplayClear)},
         clock.createTimer(0),
         clock.createTimer(0)});
    bool pongs = true;
    bool finished = false;
    QObject::connect(&session, &web::PanelSession::message, [&](const QByteArray& json) {
        if (finished || !QJsonDocument::fromJson(json).isObject())
            std::abort();
    });
    QObject::connect(&session, &web::PanelSession::ping, [&] {
        if (pongs)
            session.pong();
    });
    QObject::connect(&session, &web::PanelSession::finished, [&] { finished = true; });
    session.start();

    std::size_t i = 0;
    const auto next = [&] { return i < size ? data[i++] : std::uint8_t(0); };
    while (i < size) {
        switch (next() % 5) {
        case 0: {
            const std::size_t length = std::min<std::size_t>(next() * 64 + next(), size - i);
            session.receive(QByteArray(reinterpret_cast<const char*>(data + i),
                                       static_cast<qsizetype>(length)));
            i += length;
            break;
        }
        case 1: {
            const std::uint8_t kind = next();
            session.receive(builtEvent(kind, next()));
            break;
        }
        case 2:
            clock.advance(next() * 8);
            break;
        case 3: {
            const std::size_t length = std::min<std::size_t>(next(), size - i);
            port.receive(std::string(reinterpret_cast<const char*>(data + i), length));
            i += length;
            break;
        }
        case 4:
            if (next() & 1) {
                session.drop();
                if (session.panel().heldButton())
                    std::abort();
            } else {
                pongs = !pongs;
            }
            break;
        }
        QCoreApplication::sendPostedEvents();
    }
    return 0;
}
