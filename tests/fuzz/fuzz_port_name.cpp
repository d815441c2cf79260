// Any text (UTF-8) as a port name: a port or an error, never both nor neither; a port
// reads back the same from its own name.
#include "link/network/network_port.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString name =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const vx37::ParsedNetworkPort parsed = vx37::parseNetworkPort(name);
    if (parsed.port.has_value() == !parsed.error.isEmpty())
        std::abort();
    if (parsed.port && (!vx37::isNetworkPortName(name) || parsed.port->port == 0 ||
                        vx37::parseNetworkPort(parsed.port->name()).port != parsed.port))
        std::abort();
    return 0;
}
