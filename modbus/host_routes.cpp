#include "modbus/host_routes.h"

#include <vector>

#include "core/trace_file.h"

namespace velk {
namespace {

constexpr std::uint32_t kHostMask = 0xFFFFFFFFu;

// 0 and 255.255.255.255 are what unset and malformed texts convert to: never a route.
bool IsUsable(std::uint32_t address) { return address != 0 && address != 0xFFFFFFFFu; }

// The interface of the adapter whose IPv4 address is address; 0 when no adapter has it.
std::uint32_t InterfaceOfLocalAddress(IRouteTable& routeTable, std::uint32_t address) {
    std::vector<PlatformAdapter> adapters;
    if (!routeTable.Adapters(adapters)) return 0;
    for (const PlatformAdapter& adapter : adapters) {
        for (const PlatformAddress& local : adapter.addresses) {
            if (local.address == address) return adapter.interfaceIndex;
        }
    }
    return 0;
}

void TraceAddResult(std::uint32_t result) {
    const auto code = static_cast<std::int32_t>(result);
    if (result == kRouteInvalidParameter) {
        TraceResult("One of the members (IP, GW) of the MIB_IPFORWARDROW structure is invalid.",
                    code, true);
    } else if (result == kRouteNotSupported) {
        TraceResult("The IP transport is not configured on the local computer.", code, true);
    }
}

}  // namespace

std::uint32_t AddHostRoute(IRouteTable& routeTable, std::uint32_t destination,
                           std::uint32_t gateway) {
    if (!IsUsable(gateway) || !IsUsable(destination)) return kRouteOk;
    PlatformRoute route;
    route.destination = destination;
    route.mask = kHostMask;
    route.nextHop = gateway;
    route.interfaceIndex = InterfaceOfLocalAddress(routeTable, gateway);
    const std::uint32_t result = routeTable.AddRoute(route);
    TraceAddResult(result);
    return result;
}

std::uint32_t DeleteHostRoute(IRouteTable& routeTable, std::uint32_t destination,
                              std::uint32_t gateway) {
    if (!IsUsable(gateway) || !IsUsable(destination)) return kRouteOk;
    std::vector<PlatformRoute> routes;
    if (!routeTable.Routes(routes)) return kRouteTableUnreadable;
    // Only host routes: a network route whose network address equals the controller's
    // address is not ours to remove.
    for (const PlatformRoute& route : routes) {
        if (route.destination == destination && route.mask == kHostMask) {
            return routeTable.DeleteRoute(route);
        }
    }
    return kRouteNotFound;
}

}  // namespace velk
