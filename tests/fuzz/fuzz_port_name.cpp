// Any text as a port name: it reads as a port or as an error, never both nor neither; a
// port read reads back the same from its own name, and names a port from 1 to 65535.
//
// Input: the name in UTF-8.
#include "link/network_port.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace vx37;
    const QString name =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const ParsedNetworkPort parsed = parseNetworkPort(name);
    if (parsed.port.has_value() == !parsed.error.isEmpty())
        std::abort();
    if (!parsed.port)
        return 0;
    if (!isNetworkPortName(name) || parsed.port->port == 0 || parsed.port->host.isEmpty())
        std::abort();
    const ParsedNetworkPort again = parseNetworkPort(parsed.port->name());
    if (!again.port || !(*again.port == *parsed.port))
        std::abort();
    return 0;
}
