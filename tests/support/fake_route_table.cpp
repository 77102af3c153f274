#include "tests/support/fake_route_table.h"

#include <algorithm>
#include <string>
#include <utility>

namespace velk {

bool operator==(const PlatformRoute& a, const PlatformRoute& b) {
    return a.destination == b.destination && a.mask == b.mask && a.nextHop == b.nextHop &&
           a.interfaceIndex == b.interfaceIndex;
}

namespace {
std::string Dotted(std::uint32_t address) {
    const auto* octets = reinterpret_cast<const unsigned char*>(&address);
    return std::to_string(octets[0]) + "." + std::to_string(octets[1]) + "." +
           std::to_string(octets[2]) + "." + std::to_string(octets[3]);
}
}  // namespace

void PrintTo(const PlatformRoute& route, std::ostream* out) {
    *out << Dotted(route.destination) << "/" << Dotted(route.mask) << " via "
         << Dotted(route.nextHop) << " if " << route.interfaceIndex;
}

}  // namespace velk

namespace velk::testing {

bool FakeRouteTable::Adapters(std::vector<PlatformAdapter>& result) {
    ++adapterQueries;
    result.clear();
    if (adaptersFail) return false;
    result = adapters;
    return true;
}

std::uint32_t FakeRouteTable::AddRoute(const PlatformRoute& route) {
    added.push_back(route);
    if (addResult) return *addResult;
    routes.push_back(route);
    return kRouteOk;
}

bool FakeRouteTable::Routes(std::vector<PlatformRoute>& result) {
    ++routeQueries;
    result.clear();
    if (routesFail) return false;
    result = routes;
    return true;
}

std::uint32_t FakeRouteTable::DeleteRoute(const PlatformRoute& route) {
    deleted.push_back(route);
    if (deleteResult) return *deleteResult;
    const auto found = std::find(routes.begin(), routes.end(), route);
    if (found == routes.end()) return kRouteNotFound;
    routes.erase(found);
    return kRouteOk;
}

PlatformAdapter& FakeRouteTable::AddAdapter(std::uint32_t index, std::string name,
                                            std::vector<PlatformAddress> addresses) {
    PlatformAdapter adapter;
    adapter.interfaceIndex = index;
    adapter.interfaceType = 6;
    adapter.friendlyName = std::move(name);
    adapter.description = "Ethernet adapter";
    adapter.addresses = std::move(addresses);
    adapters.push_back(std::move(adapter));
    return adapters.back();
}

}  // namespace velk::testing
