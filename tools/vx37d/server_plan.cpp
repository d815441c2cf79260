// The plan the front-ends run with: the password files read and checked, and where each
// front-end listens.

#include "options.h"

#include "pjlink/pjlink_protocol.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vx37::daemon {

namespace {

// The permission bits that make a password file too open: any for others or the group,
// as ssh judges a private key. In systemd's credentials directory, which only the service
// may enter, the group bits are the mask of the ACL that lets the service read its copy.
mode_t tooOpen(const std::string& path)
{
    const char* credentials = std::getenv("CREDENTIALS_DIRECTORY");
    const bool credential =
        credentials && *credentials && path.starts_with(std::string(credentials) + '/');
    return credential ? S_IRWXO : S_IRWXG | S_IRWXO;
}

// The password: the file's first and only line, of up to longest bytes. A file others or
// the group may use is refused; an empty file sets no password.
std::string readPassword(const std::string& path, std::string& password,
                         std::size_t longest = pjlink::kLongestPassword,
                         std::string_view whose = "PJLink's")
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return "cannot read the password file " + path + ": " + std::strerror(errno);
    struct stat info
    {
    };
    constexpr std::size_t kLongestAny = 256;
    char bytes[kLongestAny + 3];
    ssize_t size = -1;
    const bool known = ::fstat(fd, &info) == 0;
    const bool open = known && (info.st_mode & tooOpen(path)) != 0;
    if (known && !open)
        size = ::read(fd, bytes, std::min(sizeof bytes, longest + 3));
    ::close(fd);
    if (open) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
        return "the password file " + path + " is open to others (mode " + mode +
               "): make it private (chmod go= " + path + ") and start again";
    }
    if (size < 0)
        return "cannot read the password file " + path + ": " + std::strerror(errno);
    std::string text(bytes, static_cast<std::size_t>(size));
    if (text.ends_with('\n'))
        text.pop_back();
    if (text.ends_with('\r'))
        text.pop_back();
    const std::string most = std::to_string(longest) + " bytes";
    if (text.size() > longest)
        return "the password in " + path + " is longer than " + std::string(whose) + " " + most;
    if (!textFault(text, longest).empty())
        return "the password in " + path + " is not one line of up to " + most +
               ": put it alone on the first line";
    password = text;
    return {};
}

} // namespace

ServerPlan planServer(const Options& options)
{
    ServerPlan plan;
    if (!options.passwordFile.empty()) {
        plan.error = readPassword(options.passwordFile, plan.password);
        if (!plan.error.empty())
            return plan;
    }
    if (!plan.password.empty() && options.noPassword) {
        plan.error = "no-password is set, and so is a password (in " + options.passwordFile +
                     "): keep one of them";
        return plan;
    }
    if (options.share != "off")
        plan.share = parseListen(options.share);
    if (options.http != "off")
        plan.http = parseListen(options.http);
    if (!options.mqtt.empty())
        plan.mqtt = parseBroker(options.mqtt);
    if (!options.mqttPasswordFile.empty()) {
        plan.error = readPassword(options.mqttPasswordFile, plan.mqttPassword, 256, "the");
        if (!plan.error.empty())
            return plan;
    }
    if (options.tlsCert.empty() != options.tlsKey.empty()) {
        plan.error = "HTTPS needs both --tls-cert and --tls-key";
        return plan;
    }
    if (plan.http && plan.password.empty() && !options.noPassword &&
        !plan.http->address.isLoopback()) {
        plan.error = "the web panel on " + plan.http->text().toStdString() +
                     " without a password would let anyone on the network drive the "
                     "projector: set one (--password-file FILE), listen on 127.0.0.1, or say "
                     "--no-password";
        return plan;
    }
    if (options.pjlink == "off") {
        if (!plan.share && !plan.http && !plan.mqtt)
            plan.error = "every front-end is off: vx37d would serve nobody";
        return plan;
    }
    if (!options.pjlink.empty())
        plan.pjlink = parseListen(options.pjlink);
    else
        plan.pjlink = {plan.password.empty() ? QHostAddress(QHostAddress::LocalHost)
                                             : QHostAddress(QHostAddress::Any),
                       static_cast<quint16>(pjlink::kPort)};
    if (plan.password.empty() && !options.noPassword && !plan.pjlink->address.isLoopback())
        plan.error = "PJLink on " + plan.pjlink->text().toStdString() +
                     " without a password would let anyone on the network drive the "
                     "projector: set one (--password-file FILE), listen on 127.0.0.1, or say "
                     "--no-password";
    return plan;
}

} // namespace vx37::daemon
