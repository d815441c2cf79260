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
// until that time has passed. At most kMostAddresses addresses' tries are kept; past that,
// an address not kept gets no try until room is made.
class WebLogin
{
public:
    static constexpr int kIdleMs = 8 * 3600 * 1000;
    static constexpr int kTries = 5;
    static constexpr int kTriesMs = 60 * 1000;
    static constexpr std::size_t kMostSessions = 256;
    static constexpr std::size_t kMostAddresses = 4096;
    static constexpr char kCookie[] = "vx37session";

    WebLogin(std::string password, std::function<std::int64_t()> now);

    bool required() const { return !password_.isEmpty(); }

    enum class Outcome { Welcome, Wrong, TooMany };
    // Whether a request from an address with these Authorization and Cookie headers may
    // pass; a wrong password in the Authorization header counts as a wrong try.
    Outcome admits(const QString& address, const QByteArray& authorization,
                   const QByteArray& cookie);
    // A login from an address; Welcome sets `token` to the new session's.
    Outcome login(const QString& address, const QByteArray& password, QByteArray& token);

private:
    bool matches(const QByteArray& password) const;
    // Whether the address has tries left; a wrong one is counted.
    bool mayTry(const QString& address);
    void wrongTry(const QString& address);

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
