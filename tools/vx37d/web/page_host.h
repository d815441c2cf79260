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

// The session socket's messages, JSON text frames.
// vx37d to the page:
//   {"form": {...}}     the session's whole FormState after any change: height (outer, in
//                       twips), txdLine, rxdLine, statusLine, frame8Visible,
//                       portDescriptions [2], option1Selected, option2Selected,
//                       option9Selected, option10Selected, command34Visible,
//                       command34Caption, text1; monitor text byte for byte (Latin-1)
//   {"dialog": {"caption": "...", "text": "..."}}   what the window shows in a message box
//   {"ended": true}     "END": the session is over; vx37d closes the socket
// the page to vx37d:
//   {"event": "click" | "down" | "up" | "dblclick", "control": "Command17"}
//   {"event": "key", "key": "K", "ctrl": true, "shift": false, "alt": false}
//   {"event": "text", "control": "Text1", "text": "..."}   the entry box as typed
// Anything else, or a control without that event, is ignored.

} // namespace vx37::web
