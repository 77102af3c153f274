#include "modbus/tcp_route_connection.h"

#include "modbus/host_routes.h"
#include "modbus/ip_address_text.h"

namespace velk {

bool ConnectThroughRoute(ITcpSockets& sockets, IRouteTable* routes, SocketHolder& holder,
                         std::string_view address, std::uint16_t port, std::string_view gateway) {
    if (routes != nullptr) {
        std::uint32_t destination = DottedToAddress(address);
        std::uint32_t via = DottedToAddress(gateway);
        // Route results are not a reason to give up: the connection is tried in any case.
        DeleteHostRoute(*routes, destination, via);
        AddHostRoute(*routes, destination, via);
    }
    sockets.CloseSocket(holder);
    sockets.OpenConnection(holder, address, port);
    return !holder.Empty();
}

void CloseAndRemoveRoute(ITcpSockets& sockets, IRouteTable* routes, SocketHolder& holder,
                         std::string_view address, std::string_view gateway) {
    sockets.CloseSocket(holder);
    if (routes != nullptr) {
        DeleteHostRoute(*routes, DottedToAddress(address), DottedToAddress(gateway));
    }
}

}  // namespace velk
