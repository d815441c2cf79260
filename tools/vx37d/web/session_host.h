#pragma once

#include "line/projector_line.h"
#include "web/page_host.h"

#include <QObject>

#include <map>
#include <memory>

namespace vx37::web {

// Serves the panel's page and runs a PanelSession, on the real clock, for each session
// socket the HTTP front-end admits:
// - beyond maxSessions open at once, a new socket is closed at once;
// - a socket with more than kMostUnsent bytes the page has not taken is closed, so a slow
//   page holds up nothing; a message longer than PanelSession::kLongestMessage closes it;
// - a socket closed from here that the page does not close in kClosingMs is aborted.
// The log (logged()) tells of sessions opening and ending, not of their events.
class SessionHost final : public QObject, public PageHost
{
    Q_OBJECT

public:
    static constexpr int kMaxSessions = 32;
    static constexpr qint64 kMostUnsent = 1 << 20;
    static constexpr int kClosingMs = 5000;

    // portName: the device vx37d owns, as the sessions' "COM" shows it.
    SessionHost(ProjectorLine& line, QString portName, int maxSessions = kMaxSessions,
                QObject* parent = nullptr);
    ~SessionHost() override;

    std::optional<Asset> asset(const QString& path) const override;
    void openSession(QWebSocket* socket) override;
    int sessionCount() const override { return static_cast<int>(sessions_.size()); }

signals:
    void logged(const QString& text, bool fault);

private:
    struct Live;
    void end(QWebSocket* socket, const QString& why);

    ProjectorLine& line_;
    QString portName_;
    int maxSessions_;
    std::map<QWebSocket*, std::unique_ptr<Live>> sessions_;
};

} // namespace vx37::web
