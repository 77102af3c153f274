#pragma once
// A route table in memory: adapters set by the test, routes kept in table order, every
// request recorded. Results of adds and deletes can be forced to test error paths.
#include <cstdint>
#include <optional>
#include <ostream>
#include <vector>

#include "platform/route_table.h"

namespace velk::testing {

class FakeRouteTable final : public IRouteTable {
  public:
    bool Adapters(std::vector<PlatformAdapter>& adapters) override;
    std::uint32_t AddRoute(const PlatformRoute& route) override;
    bool Routes(std::vector<PlatformRoute>& routes) override;
    // Removes the entry equal in every field; 1168 when there is none.
    std::uint32_t DeleteRoute(const PlatformRoute& route) override;

    // Appends an ethernet adapter with the given addresses to the host.
    PlatformAdapter& AddAdapter(std::uint32_t index, std::string name,
                                std::vector<PlatformAddress> addresses = {});

    std::vector<PlatformAdapter> adapters;
    std::vector<PlatformRoute> routes;  // table order
    bool adaptersFail = false;
    bool routesFail = false;
    std::optional<std::uint32_t> addResult;     // forced result; the route is not laid
    std::optional<std::uint32_t> deleteResult;  // forced result; nothing is removed

    std::vector<PlatformRoute> added;    // every AddRoute request
    std::vector<PlatformRoute> deleted;  // every DeleteRoute request
    int adapterQueries = 0;
    int routeQueries = 0;
};

}  // namespace velk::testing

namespace velk {
// Field-wise comparison and printing of routes for tests.
bool operator==(const PlatformRoute& a, const PlatformRoute& b);
void PrintTo(const PlatformRoute& route, std::ostream* out);
}  // namespace velk
