#pragma once
// Host routes that send one controller's traffic through the host adapter owning a gateway
// address. Addresses are 32-bit IPv4 in network byte order (see DottedToAddress); results
// are the route table's codes: 0 success or nothing done, 87, 50, 1168, or what the
// platform returned. Callers may ignore them: a connection is tried in any case.
#include <cstdint>

#include "platform/route_table.h"

namespace velk {

// The result when the forwarding table could not be read.
inline constexpr std::uint32_t kRouteTableUnreadable = 31;

// Lays a host route to destination with next hop gateway on the adapter that owns gateway
// (interface 0 when none does). 0 without a route when gateway or destination is 0 or
// 0xFFFFFFFF. Results 87 and 50 are written to the trace.
std::uint32_t AddHostRoute(IRouteTable& routeTable, std::uint32_t destination,
                           std::uint32_t gateway);

// Deletes the first host route to destination in the forwarding table, whatever its next
// hop. 0 without a change when gateway or destination is 0 or 0xFFFFFFFF; 1168 when no host
// route to destination exists.
std::uint32_t DeleteHostRoute(IRouteTable& routeTable, std::uint32_t destination,
                              std::uint32_t gateway);

}  // namespace velk
