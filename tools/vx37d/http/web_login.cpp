#include "http/web_login.h"

#include <QByteArrayList>
#include <QCryptographicHash>
#include <QRandomGenerator>

#include <array>

namespace vx37::http {

namespace {

QByteArray digest(const QByteArray& text)
{
    return QCryptographicHash::hash(text, QCryptographicHash::Sha256);
}

// The value of a cookie in a Cookie header, or an empty array.
QByteArray cookieValue(const QByteArray& header, const QByteArray& name)
{
    for (const QByteArray& pair : header.split(';')) {
        const QByteArray trimmed = pair.trimmed();
        if (trimmed.startsWith(name + '='))
            return trimmed.mid(name.size() + 1);
    }
    return {};
}

} // namespace

WebLogin::WebLogin(std::string password, std::function<std::int64_t()> now)
    : password_(QByteArray::fromStdString(password)), now_(std::move(now))
{
}

bool WebLogin::matches(const QByteArray& password) const
{
    // Digests of equal length, compared in full: the time tells nothing of the password.
    const QByteArray given = digest(password);
    const QByteArray wanted = digest(password_);
    unsigned char differ = 0;
    for (qsizetype i = 0; i < wanted.size(); ++i)
        differ |= static_cast<unsigned char>(given[i] ^ wanted[i]);
    return differ == 0;
}

bool WebLogin::mayTry(const QString& address)
{
    const std::int64_t now = now_();
    std::erase_if(tries_, [now](const auto& t) { return now - t.second.began >= kTriesMs; });
    const auto found = tries_.find(address);
    if (found == tries_.end())
        return tries_.size() < kMostAddresses;
    return found->second.count < kTries;
}

void WebLogin::wrongTry(const QString& address)
{
    Tries& tries = tries_[address];
    if (tries.count++ == 0)
        tries.began = now_();
}

WebLogin::Outcome WebLogin::admits(const QString& address, const QByteArray& authorization,
                                   const QByteArray& cookie)
{
    if (!required())
        return Outcome::Welcome;
    if (authorization.startsWith("Basic ")) {
        if (!mayTry(address))
            return Outcome::TooMany;
        const QByteArray pair = QByteArray::fromBase64(authorization.mid(6).trimmed());
        const qsizetype colon = pair.indexOf(':');
        if (colon >= 0 && matches(pair.mid(colon + 1)))
            return Outcome::Welcome;
        wrongTry(address);
        return Outcome::Wrong;
    }
    const QByteArray token = cookieValue(cookie, kCookie);
    const auto found = token.isEmpty() ? sessions_.end() : sessions_.find(digest(token));
    if (found == sessions_.end())
        return Outcome::Wrong;
    const std::int64_t now = now_();
    if (now - found->second >= kIdleMs) {
        sessions_.erase(found);
        return Outcome::Wrong;
    }
    found->second = now;
    return Outcome::Welcome;
}

WebLogin::Outcome WebLogin::login(const QString& address, const QByteArray& password,
                                  QByteArray& token)
{
    if (!mayTry(address))
        return Outcome::TooMany;
    if (!matches(password)) {
        wrongTry(address);
        return Outcome::Wrong;
    }
    const std::int64_t now = now_();
    std::erase_if(sessions_, [now](const auto& s) { return now - s.second >= kIdleMs; });
    if (sessions_.size() >= kMostSessions) // the longest unused goes
        sessions_.erase(
            std::min_element(sessions_.begin(), sessions_.end(),
                             [](const auto& a, const auto& b) { return a.second < b.second; }));
    std::array<quint32, 4> bits{};
    QRandomGenerator::system()->fillRange(bits.data(), bits.size());
    token = QByteArray(reinterpret_cast<const char*>(bits.data()), sizeof bits).toHex();
    sessions_[digest(token)] = now;
    return Outcome::Welcome;
}

} // namespace vx37::http
