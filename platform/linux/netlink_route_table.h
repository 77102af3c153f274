#pragma once
// IRouteTable over the kernel's routing socket (rtnetlink) and the interface address list.
// Host routes go to the main IPv4 table as static routes. A next hop that is one of the
// host's own addresses means "send directly through the adapter owning it": such a route is
// laid on-link on that adapter with the address as preferred source, and listed with that
// address as its next hop again.
#include <cstdint>
#include <vector>

#include "platform/route_table.h"

namespace velk {

// Further results in the Windows numbering, for kernel errors that have an equivalent.
inline constexpr std::uint32_t kRouteAccessDenied = 5;
inline constexpr std::uint32_t kRouteAlreadyExists = 5010;

// Holds no state: every call opens its own routing socket, so any thread may call it.
class NetlinkRouteTable final : public IRouteTable {
  public:
    // Every interface, ordered by index, with its IPv4 addresses; false when the
    // interface list cannot be read.
    bool Adapters(std::vector<PlatformAdapter>& adapters) override;
    // Lays the host route before any other to the same destination, so it is the one in
    // effect; kRouteAlreadyExists for an identical route.
    std::uint32_t AddRoute(const PlatformRoute& route) override;
    // The unicast routes of the main table, sorted by destination (stable, so the route in
    // effect comes first among those to one destination); false when the dump fails.
    bool Routes(std::vector<PlatformRoute>& routes) override;
    // Deletes the main-table route matching destination, mask and, where set, next hop and
    // interface; kRouteNotFound when there is none.
    std::uint32_t DeleteRoute(const PlatformRoute& route) override;
};

// The result for a kernel error number from a route request: 87 for invalid parameters
// and unreachable next hops, 50 for missing IPv4 support, 1168 for a missing route on
// delete, 5 and 5010 for permission and duplicates; other numbers are passed on.
std::uint32_t RouteResultFromErrno(int error, bool deleting);

// The IANA interface type for a Linux hardware type (ARPHRD_*); wireless marks ethernet
// devices that are 802.11 stations.
std::uint32_t InterfaceTypeFromHardwareType(unsigned hardwareType, bool wireless);

}  // namespace velk
