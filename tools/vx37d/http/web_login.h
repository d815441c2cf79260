#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <string>

namespace vx37::http {

// The web panel's password: HTTP Basic with any user name, or a session cookie got by
// logging in with it. Sessions are random (128 bits), kept by their digest, and end after
// kIdleMs unused; an address that gives kTries wrong passwords within kTriesMs is refused
// until that time has passed.
class WebLogin
{
public:
    static constexpr int kIdleMs = 8 * 3600 * 1000;
    static constexpr int kTries = 5;
    static constexpr int kTriesMs = 60 * 1000;
    static constexpr std::size_t kMostSessions = 256;
    static constexpr char kCookie[] = "vx37session";

    WebLogin(std::string password, std::function<std::int64_t()> now);

    bool required() const { return !password_.isEmpty(); }
    // Whether a request with these Authorization and Cookie headers may pass.
    bool admits(const QByteArray& authorization, const QByteArray& cookie);

    enum class Outcome { Welcome, Wrong, TooMany };
    // A login from an address; Welcome sets `token` to the new session's.
    Outcome login(const QString& address, const QByteArray& password, QByteArray& token);

private:
    bool matches(const QByteArray& password) const;

    QByteArray password_;
    std::function<std::int64_t()> now_;
    std::map<QByteArray, std::int64_t> sessions_; // digest of the token: last used
    struct Tries
    {
        std::int64_t began = 0;
        int count = 0;
    };
    std::map<QString, Tries> tries_;
};

} // namespace vx37::http
