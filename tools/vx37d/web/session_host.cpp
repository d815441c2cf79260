#include "web/session_host.h"

#include "link/qt_interval_timer.h"
#include "web/page_assets.h"
#include "web/panel_session.h"

#include <QPointer>
#include <QTimer>
#include <QWebSocket>

namespace vx37::web {

// A session on the real clock, its timers at the design intervals.
struct SessionHost::Live
{
    Live(ProjectorLine& line, const QString& portName)
        : session(line, portName, {{timer1, timer2, timer3, timer4}, heartbeat, idle})
    {
    }

    QtIntervalTimer timer1{kDesignRepeatInterval};
    QtIntervalTimer timer2{kDesignReplyTimeout};
    QtIntervalTimer timer3{kOptionFrameInterval};
    QtIntervalTimer timer4{kDesignDisplayClear};
    QtIntervalTimer heartbeat{PanelSession::kHeartbeatMs};
    QtIntervalTimer idle{PanelSession::kIdleMs};
    PanelSession session;
};

SessionHost::SessionHost(ProjectorLine& line, QString portName, int maxSessions, QObject* parent)
    : QObject(parent), line_(line), portName_(std::move(portName)), maxSessions_(maxSessions)
{
}

SessionHost::~SessionHost()
{
    for (auto& [socket, live] : sessions_) {
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
}

std::optional<Asset> SessionHost::asset(const QString& path) const
{
    return pageAsset(path);
}

namespace {

// Closes a socket cleanly, or aborts it when the page does not answer the close.
void closeSocket(QWebSocket* socket, QWebSocketProtocol::CloseCode code, const QString& why)
{
    QObject::connect(socket, &QWebSocket::disconnected, socket, &QObject::deleteLater);
    if (socket->state() != QAbstractSocket::ConnectedState) {
        socket->deleteLater();
        return;
    }
    socket->close(code, why);
    QTimer::singleShot(SessionHost::kClosingMs, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
}

} // namespace

void SessionHost::openSession(QWebSocket* socket)
{
    socket->setParent(this);
    if (sessionCount() >= maxSessions_) {
        emit logged(QStringLiteral("web page %1 refused: %2 sessions open")
                        .arg(socket->peerAddress().toString())
                        .arg(sessionCount()),
                    true);
        closeSocket(socket, QWebSocketProtocol::CloseCodeGoingAway,
                    QStringLiteral("too many pages open"));
        return;
    }
    socket->setMaxAllowedIncomingMessageSize(PanelSession::kLongestMessage);
    socket->setMaxAllowedIncomingFrameSize(PanelSession::kLongestMessage);
    auto& live = *sessions_.emplace(socket, std::make_unique<Live>(line_, portName_)).first->second;
    PanelSession& session = live.session;

    connect(socket, &QWebSocket::textMessageReceived, &session,
            [&session](const QString& text) { session.receive(text.toUtf8()); });
    connect(socket, &QWebSocket::pong, &session, [&session] { session.pong(); });
    connect(socket, &QWebSocket::disconnected, this,
            [this, socket] { end(socket, QStringLiteral("went away")); });
    connect(&session, &PanelSession::ping, socket, [socket] { socket->ping(); });
    connect(&session, &PanelSession::message, socket, [this, socket](const QByteArray& json) {
        if (socket->bytesToWrite() > kMostUnsent) {
            end(socket, QStringLiteral("closed: it takes no more"));
            return;
        }
        socket->sendTextMessage(QString::fromUtf8(json));
    });
    connect(&session, &PanelSession::finished, this,
            [this, socket](const QString& why) { end(socket, why); });

    emit logged(QStringLiteral("web page %1 opened a session (%2 open)")
                    .arg(socket->peerAddress().toString())
                    .arg(sessionCount()),
                false);
    if (socket->state() != QAbstractSocket::ConnectedState) {
        end(socket, QStringLiteral("went away"));
        return;
    }
    session.start();
}

void SessionHost::end(QWebSocket* socket, const QString& why)
{
    const auto found = sessions_.find(socket);
    if (found == sessions_.end())
        return;
    // Called from the session's or the socket's signals: both go once this turn is over.
    std::unique_ptr<Live> live = std::move(found->second);
    sessions_.erase(found);
    socket->disconnect(this);
    live->session.disconnect();
    live->session.drop(); // a held button is released now
    QTimer::singleShot(0, this,
                       [gone = std::shared_ptr<Live>(std::move(live))]() mutable { gone.reset(); });
    emit logged(QStringLiteral("web page %1: %2 (%3 open)")
                    .arg(socket->peerAddress().toString(), why)
                    .arg(sessionCount()),
                false);
    closeSocket(socket, QWebSocketProtocol::CloseCodeNormal, why);
}

} // namespace vx37::web
