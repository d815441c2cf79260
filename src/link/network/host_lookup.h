#pragma once

#include <QHostAddress>
#include <QList>
#include <QObject>

#include <functional>
#include <memory>
#include <string>

namespace vx37 {

// A host name's look-up on a thread of its own that nothing ever waits for: a resolver
// that never answers must hold neither the event loop nor the program's end (Qt's own
// look-ups are waited for when the application ends). Destroying it cancels it: the
// answer, whenever it comes, is dropped.
class HostLookup
{
public:
    using Addresses = QList<QHostAddress>;
    // Blocking: the addresses of a name, empty when it has none. Tests give their own.
    using Resolver = std::function<Addresses(const std::string& name)>;
    static Addresses systemResolver(const std::string& name);

    // `done` runs on `receiver`'s thread with the addresses found, unless this was
    // destroyed (or the receiver deleted) first.
    HostLookup(const QString& name, QObject* receiver, std::function<void(Addresses)> done,
               const Resolver& resolver = systemResolver);
    ~HostLookup();
    HostLookup(const HostLookup&) = delete;
    HostLookup& operator=(const HostLookup&) = delete;

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
};

} // namespace vx37
