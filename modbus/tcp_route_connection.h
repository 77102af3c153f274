#pragma once
// Connections to a controller through a host route laid over the adapter of a gateway
// address, and their closing.
#include <cstdint>
#include <string_view>

#include "platform/route_table.h"
#include "platform/tcp_sockets.h"

namespace velk {

// Removes the host route to the address and lays it again through the gateway (nothing
// when the gateway is 0.0.0.0 or not an address, or routes is null), closes the socket held
// and opens a new connection. Whether the holder now holds a socket.
bool ConnectThroughRoute(ITcpSockets& sockets, IRouteTable* routes, SocketHolder& holder,
                         std::string_view address, std::uint16_t port, std::string_view gateway);

// Closes the socket held, then removes the host route to the address.
void CloseAndRemoveRoute(ITcpSockets& sockets, IRouteTable* routes, SocketHolder& holder,
                         std::string_view address, std::string_view gateway);

}  // namespace velk
