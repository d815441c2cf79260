#include "commands/monitor_text.h"
#include "pjlink_rig.h"
#include "web/virtual_session.h"

#include "test_registry.h"

#include <QJsonDocument>
#include <QTest>

using namespace vx37;
using vx37::web::PanelSession;

namespace {

// The rig's line with a projector that answers each frame replyDelay ms after it.
struct WebRig : PjlinkRig
{
    int replyDelay = 0;
    std::size_t answered = 0;
    std::vector<std::int64_t> writtenAt;

    void play()
    {
        writtenAt.resize(port.writes().size(), clock.now());
        while (answered < writtenAt.size() && clock.now() >= writtenAt[answered] + replyDelay)
            port.receive(port.writes()[answered++].starts_with("CR") ? "00\r" : "\x06\r");
        QCoreApplication::sendPostedEvents(); // the form messages of this turn
    }
    void run(int ms)
    {
        for (int i = 0; i < ms; ++i, clock.advance(1))
            play();
        play();
    }
    qsizetype sent(const std::string& frame, std::size_t from = 0) const
    {
        return std::count(port.writes().begin() + long(from), port.writes().end(), frame);
    }
};

// A page on the rig's line; it answers pings while pong.
struct Page : web::VirtualSession
{
    explicit Page(WebRig& rig) : VirtualSession(rig.line, rig.clock)
    {
        QObject::connect(&session, &PanelSession::message, [this](auto json) { messages << json; });
        QObject::connect(&session, &PanelSession::ping, [this] { pong ? session.pong() : void(); });
        QObject::connect(&session, &PanelSession::finished, [this] { finished = true; });
        session.start();
        QCoreApplication::sendPostedEvents();
    }
    // Events as "kind control", or messages as they are, ";" between; or a "warning".
    void send(const QString& events)
    {
        for (const QString& event : events.split(';', Qt::SkipEmptyParts)) {
            const QStringList part = event.trimmed().split(' ');
            if (part[0] == "warning")
                emit session.panel().warning(part[1]);
            const auto made = QStringLiteral(R"({"event": "%1", "control": "%2"})");
            session.receive((part.size() == 2 ? made.arg(part[0], part[1]) : event).toUtf8());
        }
    }
    QJsonValue last() const { return QJsonDocument::fromJson(messages.last()).object(); }

    QByteArrayList messages;
    bool pong = true;
    bool finished = false;
};

} // namespace

class WebSessionTest : public QObject
{
    Q_OBJECT

private slots:
    void events_data()
    {
        QTest::addColumn<QString>("events");
        QTest::addColumn<QByteArray>("written");
        QTest::addColumn<QString>("key"); // of the last message, or of its form
        QTest::addColumn<QString>("value");
        const QString ack = QString::fromStdString(renderMonitorText("\x06\r"));
        const QString ctrlK = R"({"event": "key", "key": "k", "ctrl": true})";
        // clang-format off
        QTest::newRow("ON") << "click Command17" << QByteArray("C00\r") << "rxdLine" << ack;
        QTest::newRow("typed") << R"({"event":"text","control":"Text1","text":"CR6"}; click Command95)"
                               << QByteArray("CR6\r") << "text1" << "CR6";
        QTest::newRow("Ctrl+K") << ctrlK << QByteArray() << "height" << "7200";
        QTest::newRow("logo") << ctrlK + ";dblclick Image1" << QByteArray() << "height" << "9100";
        QTest::newRow("COM") << "click Command33" << QByteArray() << "portDescriptions"
                             << "vx37d: /dev/ttyS0 (answering)";
        QTest::newRow("END") << "click Command16" << QByteArray() << "ended" << "true";
        QTest::newRow("dialog") << "click Command33; warning text" << QByteArray() << "dialog" << "text";
        QTest::newRow("malformed") << "{; [1];" R"({"event": "click"}; click Command999; down Command17;)"
            R"(click Command5; dblclick Command17; up Command17; {"event": "text", "control": "Text1", "text": 5};)"
            R"({"event": "key", "key": "Control", "ctrl": true})" << QByteArray() << "text1" << "";
        QTest::newRow("too long") << "{\"event\": \"click\", \"control\": \"Command17\", \"x\": \"" +
            QString(PanelSession::kLongestMessage, 'x') + "\"}" << QByteArray() << "txdLine" << "";
        // clang-format on
    }

    // Each event reaches the panel as the window's would; one form follows each turn.
    void events()
    {
        QFETCH(QString, events);
        QFETCH(QByteArray, written);
        QFETCH(QString, key);
        QFETCH(QString, value);
        WebRig rig;
        Page page(rig);
        QCOMPARE(page.messages.size(), 1); // Form_Load's changes, in one form
        page.send(events);
        rig.run(100);
        QCOMPARE(QByteArray::fromStdString(rig.port.written()), written);
        const QJsonValue own = page.last()[key];
        const QJsonValue shown = own.isUndefined() ? page.last()["form"][key] : own;
        const QJsonValue text = shown.isArray()    ? shown[0]
                                : shown.isObject() ? shown["text"]
                                                   : shown;
        QCOMPARE(text.toVariant().toString(), value);
        QCOMPARE(page.finished, key == "ended");
    }

    void hold_data()
    {
        QTest::addColumn<QString>("ending");
        QTest::addColumn<int>("replyDelay");
        QTest::addColumn<int>("stopsWithin"); // ms after the ending
        QTest::newRow("released") << "up Command5" << 0 << 0;
        QTest::newRow("page gone") << "drop" << 0 << 0;
        QTest::newRow("no pong") << "" << 0 << 1000;
        QTest::newRow("released, slow line") << "up Command5" << 300 << 0;
    }

    // "↑" held repeats at its designed interval, and stops when released, when the page
    // goes, or within a second of the page's last pong; what still waits goes with it.
    void hold()
    {
        QFETCH(QString, ending);
        QFETCH(int, replyDelay);
        QFETCH(int, stopsWithin);
        WebRig rig;
        rig.replyDelay = replyDelay;
        Page page(rig);
        page.send("down Command5");
        rig.run(1000);
        QVERIFY(replyDelay > 0 || rig.sent("C3C\r") == 1 + 1000 / kDesignRepeatInterval);
        ending == "drop" ? page.session.drop() : page.send(ending);
        page.pong = false;
        rig.run(stopsWithin);
        const std::size_t after = rig.port.writes().size();
        rig.run(2000);
        QCOMPARE(rig.sent("C3C\r", after), 0);
        QCOMPARE(page.finished, !ending.startsWith("up"));
    }

    // Two pages on one line see their own frames; one with no event for an hour is closed.
    void sessions_and_idle()
    {
        WebRig rig;
        Page first(rig);
        Page second(rig);
        first.send("click Command17");
        second.send("click Command18");
        rig.run(100);
        const auto txd = [](const Page& page) { return page.last()["form"]["txdLine"].toString(); };
        QCOMPARE(txd(first) + txd(second),
                 QString::fromStdString(renderMonitorText("C00\r") + renderMonitorText("C01\r")));
        first.send("click Command96");
        rig.clock.advance(PanelSession::kIdleMs - 1);
        QVERIFY(!first.finished && second.finished);
        rig.clock.advance(1);
        QVERIFY(first.finished);
    }
};

VX37_TEST(WebSessionTest)
#include "test_web_session.moc"
