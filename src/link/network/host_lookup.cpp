#include "link/network/host_lookup.h"

#include <mutex>
#include <system_error>
#include <thread>

#ifdef Q_OS_WIN
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <sys/socket.h>
#endif

namespace vx37 {

struct HostLookup::Shared
{
    std::mutex mutex;
    QObject* receiver = nullptr; // null once cancelled
    std::function<void(Addresses)> done;
};

HostLookup::Addresses HostLookup::systemResolver(const std::string& name)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG;
    addrinfo* found = nullptr;
    Addresses addresses;
    if (::getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0)
        return addresses;
    for (const addrinfo* each = found; each; each = each->ai_next) {
        const QHostAddress address(each->ai_addr);
        if (!address.isNull() && !addresses.contains(address))
            addresses.append(address);
    }
    ::freeaddrinfo(found);
    return addresses;
}

HostLookup::HostLookup(const QString& name, QObject* receiver, std::function<void(Addresses)> done,
                       const Resolver& resolver)
    : shared_(std::make_shared<Shared>())
{
    shared_->receiver = receiver;
    shared_->done = std::move(done);
    // Detached: at the program's end a thread still waiting on the resolver simply ends
    // with the process. It touches nothing but what it shares with this object.
    const auto lookUp = [shared = shared_, name = name.toStdString(), resolver](bool canRun) {
        const Addresses addresses = canRun ? resolver(name) : Addresses();
        const std::lock_guard lock(shared->mutex);
        if (!shared->receiver)
            return;
        QMetaObject::invokeMethod(
            shared->receiver,
            [shared, addresses] {
                std::function<void(Addresses)> done;
                {
                    const std::lock_guard lock(shared->mutex);
                    done = shared->done;
                }
                if (done)
                    done(addresses);
            },
            Qt::QueuedConnection);
    };
    try {
        std::thread(lookUp, true).detach();
    } catch (const std::system_error&) {
        lookUp(false); // no thread to be had: a name not found
    }
}

HostLookup::~HostLookup()
{
    const std::lock_guard lock(shared_->mutex);
    shared_->receiver = nullptr;
    shared_->done = nullptr;
}

} // namespace vx37
