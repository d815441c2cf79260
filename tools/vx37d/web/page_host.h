#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

class QWebSocket;

namespace vx37::web {

// A file the page loads.
struct Asset
{
    QByteArray contentType; // "text/html; charset=utf-8", "font/woff2", ...
    QByteArray body;
};

// What serves the panel's page and runs a panel session for each open page. The HTTP
// front-end admits a browser (password, Origin, caps) and hands over what it asked for;
// the host knows nothing of HTTP.
class PageHost
{
public:
    virtual ~PageHost() = default;

    // The page and what it loads, by path ("/", "/panel.js", "/fonts/gothic.woff2"), or
    // nullopt for none.
    virtual std::optional<Asset> asset(const QString& path) const = 0;

    // An admitted page's session socket (path kSessionPath): the host owns it from here,
    // runs a panel for it, and closes it when the session ends.
    virtual void openSession(QWebSocket* socket) = 0;

    // Sessions open now.
    virtual int sessionCount() const = 0;
};

inline constexpr char kSessionPath[] = "/session";

} // namespace vx37::web
