#pragma once

#include "app/panel.h"
#include "web/line_serial_control.h"

#include <QByteArray>
#include <QJsonObject>
#include <QObject>

namespace vx37::web {

struct SessionTimers
{
    PanelTimers panel;
    IntervalTimer& heartbeat; // kHeartbeatMs: pings while a button is held
    IntervalTimer& idle;      // kIdleMs: closes a session left alone
};

// One open page: a core Panel on the line, driven by the page's events and drawn by it
// from the messages this sends (web/page_host.h tells both). It knows nothing of the
// socket: the host passes what the page sends and carries what this emits.
// - Every change of the panel's FormState within one turn of the event loop makes one
//   "form" message; a warning makes a "dialog"; "END" makes "ended", then finished().
// - A button held from the page is released at once when the connection drops, and when
//   the page leaves kMissedPongs pings in a row unanswered (within a second), so a held
//   button never runs on.
// - Messages longer than kLongestMessage, malformed or unknown ones are ignored.
class PanelSession : public QObject
{
    Q_OBJECT

public:
    static constexpr int kHeartbeatMs = 250;
    static constexpr int kMissedPongs = 3;
    static constexpr int kIdleMs = 3600 * 1000;
    // Room for the panel's longest text, 32767 characters, typed in UTF-8.
    static constexpr qsizetype kLongestMessage = 131072;

    PanelSession(ProjectorLine& line, const QString& portName, SessionTimers timers,
                 QObject* parent = nullptr);
    ~PanelSession() override;

    // Starts the panel, as the window's Load event does.
    void start();
    // A message from the page.
    void receive(const QByteArray& message);
    // The page answered a ping.
    void pong() { missedPongs_ = 0; }
    // The connection is gone: a held button is released and the panel ends.
    void drop();

    Panel& panel() { return panel_; }

signals:
    void message(const QByteArray& json);
    void ping();
    // The session is over; the host closes the socket. Emitted once.
    void finished(const QString& why);

private:
    // Whether the event was one the page can send.
    bool handle(const QJsonObject& event);
    void formChanged();
    void sendForm();
    void send(const QJsonObject& object);
    void release(const ButtonRow& row);
    void releaseHeld();
    void heartbeat();
    // Releases a held button, ends the panel and finishes.
    void end(const QString& why);
    void finish(const QString& why);

    LineSerialControl comm_;
    SessionTimers timers_;
    Panel panel_;
    bool formPending_ = false;
    bool finished_ = false;
    int missedPongs_ = 0;
};

} // namespace vx37::web
