#include "commands/monitor_text.h"
#include "pjlink_rig.h"
#include "web/panel_session.h"
#include "web/session_host.h"

#include "test_registry.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>
#include <QWebSocket>
#include <QWebSocketServer>

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
        QCoreApplication::sendPostedEvents(); // the form messages of this turn
        writtenAt.resize(port.writes().size(), clock.now());
        while (answered < writtenAt.size() && clock.now() >= writtenAt[answered] + replyDelay)
            port.receive(port.writes()[answered++].starts_with("CR") ? "00\r" : "\x06\r");
        QCoreApplication::sendPostedEvents();
    }
    void run(int ms)
    {
        for (int i = 0; i < ms; ++i, clock.advance(1))
            play();
        play();
    }
    qsizetype sent(const std::string& frame, std::size_t from = 0) const
    {
        return std::count(port.writes().begin() + static_cast<long>(from), port.writes().end(),
                          frame);
    }
};

// A page: its session on the rig's line, in virtual time; it answers pings while pongs.
struct Page
{
    explicit Page(WebRig& rig)
        : session(rig.line, "/dev/ttyS0",
                  {{rig.clock.createTimer(kDesignRepeatInterval),
                    rig.clock.createTimer(kDesignReplyTimeout),
                    rig.clock.createTimer(kOptionFrameInterval),
                    rig.clock.createTimer(kDesignDisplayClear)},
                   rig.clock.createTimer(0),
                   rig.clock.createTimer(0)})
    {
        QObject::connect(&session, &PanelSession::message,
                         [this](const QByteArray& json) { messages << json; });
        QObject::connect(&session, &PanelSession::ping, [this] {
            if (pongs)
                session.pong();
        });
        QObject::connect(&session, &PanelSession::finished, [this] { finished = true; });
        session.start();
        QCoreApplication::sendPostedEvents();
    }
    void send(const QByteArray& event) { session.receive(event); }
    QJsonObject last() const { return QJsonDocument::fromJson(messages.last()).object(); }
    QJsonObject form() const { return last().value("form").toObject(); }

    PanelSession session;
    QByteArrayList messages;
    bool pongs = true;
    bool finished = false;
};

QByteArray pageEvent(const char* kind, const char* control)
{
    return QStringLiteral(R"({"event": "%1", "control": "%2"})").arg(kind, control).toUtf8();
}

} // namespace

class WebSessionTest : public QObject
{
    Q_OBJECT

private slots:
    void events_data()
    {
        QTest::addColumn<QByteArrayList>("events");
        QTest::addColumn<QByteArray>("written");
        QTest::addColumn<QString>("key"); // of the last message, or of its form
        QTest::addColumn<QString>("value");
        const QString ack = QString::fromStdString(renderMonitorText("\x06\r"));
        const QByteArray ctrlK = R"({"event": "key", "key": "k", "ctrl": true})";
        QTest::newRow("ON") << QByteArrayList{pageEvent("click", "Command17")}
                            << QByteArray("C00\r") << "rxdLine" << ack;
        QTest::newRow("typed")
            << QByteArrayList{R"({"event":"text","control":"Text1","text":"CR6"})",
                              pageEvent("click", "Command95")}
            << QByteArray("CR6\r") << "text1"
            << "CR6";
        QTest::newRow("Ctrl+K") << QByteArrayList{ctrlK} << QByteArray() << "height"
                                << "7200";
        QTest::newRow("K alone") << QByteArrayList{R"({"event": "key", "key": "k"})"}
                                 << QByteArray() << "height"
                                 << "5350";
        QTest::newRow("logo") << QByteArrayList{ctrlK, pageEvent("dblclick", "Image1")}
                              << QByteArray() << "height"
                              << "9100";
        QTest::newRow("COM") << QByteArrayList{pageEvent("click", "Command33")} << QByteArray()
                             << "portDescriptions"
                             << "vx37d: /dev/ttyS0 (answering)";
        QTest::newRow("END") << QByteArrayList{pageEvent("click", "Command16")} << QByteArray()
                             << "ended"
                             << "true";
        QTest::newRow("malformed")
            << QByteArrayList{"{",
                              "[1]",
                              R"({"event": "click"})",
                              pageEvent("click", "Command999"),
                              pageEvent("down", "Command17"),
                              pageEvent("click", "Command5"),
                              pageEvent("dblclick", "Command17"),
                              R"({"event": "text", "control": "Text1", "text": 5})",
                              R"({"event": "key", "key": "Control", "ctrl": true})",
                              pageEvent("click", "Command17") +
                                  QByteArray(PanelSession::kLongestMessage, ' ')}
            << QByteArray() << "text1"
            << "";
    }

    // Each event reaches the panel as the window's would; one form follows each turn.
    void events()
    {
        QFETCH(QByteArrayList, events);
        QFETCH(QByteArray, written);
        QFETCH(QString, key);
        QFETCH(QString, value);
        WebRig rig;
        Page page(rig);
        QCOMPARE(page.messages.size(), 1); // Form_Load's changes, in one form
        for (const QByteArray& e : events)
            page.send(e);
        rig.run(100);
        QCOMPARE(QByteArray::fromStdString(rig.port.written()), written);
        const QJsonValue shown = page.last().contains(key) ? page.last()[key] : page.form()[key];
        QCOMPARE(shown.isArray() ? shown[0].toString() : shown.toVariant().toString(), value);
        QCOMPARE(page.finished, key == "ended");
    }

    void hold_data()
    {
        QTest::addColumn<QString>("ending");
        QTest::addColumn<int>("replyDelay");
        QTest::addColumn<int>("stopsWithin"); // ms after the ending
        QTest::newRow("released") << "up" << 0 << 0;
        QTest::newRow("page gone") << "drop" << 0 << 0;
        QTest::newRow("no pong") << "silent" << 0 << 1000;
        QTest::newRow("released, slow line") << "up" << 300 << 0;
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
        page.send(pageEvent("down", "Command5"));
        rig.run(1000);
        if (replyDelay == 0)
            QCOMPARE(rig.sent("C3C\r"), 1 + 1000 / kDesignRepeatInterval);
        if (ending == "up")
            page.send(pageEvent("up", "Command5"));
        else if (ending == "drop")
            page.session.drop();
        page.pongs = false;
        rig.run(stopsWithin);
        const std::size_t after = rig.port.writes().size();
        rig.run(2000);
        QCOMPARE(rig.sent("C3C\r", after), 0);
        QCOMPARE(page.finished, ending != "up");
    }

    // Two pages on one line: each sees its own frames and replies.
    void sessions()
    {
        WebRig rig;
        Page first(rig);
        Page second(rig);
        first.send(pageEvent("click", "Command17"));
        second.send(pageEvent("click", "Command18"));
        rig.run(100);
        QCOMPARE(rig.port.written(), "C00\rC01\r");
        QCOMPARE(first.form()["txdLine"].toString(),
                 QString::fromStdString(renderMonitorText("C00\r")));
        QCOMPARE(second.form()["txdLine"].toString(),
                 QString::fromStdString(renderMonitorText("C01\r")));
    }

    // A warning becomes a dialog after the form it follows; an idle page is closed.
    void dialog_and_idle()
    {
        WebRig rig;
        Page page(rig);
        page.send(pageEvent("click", "Command33"));
        emit page.session.panel().warning("text");
        QCOMPARE(QJsonDocument::fromJson(page.messages.at(1)).object().keys(), {"form"});
        QCOMPARE(page.last()["dialog"].toObject()["text"].toString(), "text");
        rig.clock.advance(PanelSession::kIdleMs - 1);
        page.send(pageEvent("click", "Command96"));
        rig.clock.advance(PanelSession::kIdleMs - 1);
        QVERIFY(!page.finished);
        rig.clock.advance(1);
        QVERIFY(page.finished);
    }

    // Over a real socket: a page beyond the cap is closed; one that goes while holding a
    // button stops it at once.
    void host()
    {
        WebRig rig;
        web::SessionHost host(rig.line, "/dev/ttyS0", 1);
        QWebSocketServer server("test", QWebSocketServer::NonSecureMode);
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        connect(&server, &QWebSocketServer::newConnection,
                [&] { host.openSession(server.nextPendingConnection()); });
        QWebSocket page;
        QWebSocket second;
        QByteArrayList received;
        connect(&page, &QWebSocket::textMessageReceived,
                [&](const QString& text) { received << text.toUtf8(); });
        page.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/session").arg(server.serverPort())));
        QTRY_COMPARE(received.size(), 1);
        second.open(page.requestUrl());
        QTRY_COMPARE(second.state(), QAbstractSocket::UnconnectedState);
        page.sendTextMessage(pageEvent("down", "Command5"));
        QTRY_VERIFY((rig.play(), rig.sent("C3C\r") > 1));
        page.abort();
        QTRY_COMPARE(host.sessionCount(), 0);
        const std::size_t after = (rig.play(), rig.port.writes().size());
        QTest::qWait(500);
        rig.play();
        QCOMPARE(rig.sent("C3C\r", after), 0);
    }
};

VX37_TEST(WebSessionTest)
#include "test_web_session.moc"
