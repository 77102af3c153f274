#pragma once
// The host's adapters with their IPv4 addresses, read once from the route table; the list
// owns the adapters and their networks.
#include <cstddef>
#include <memory>
#include <vector>

#include "modbus/b_network_adapter.h"
#include "platform/route_table.h"

namespace velk {

class NetworkAdapterList {
  public:
    // Reads the adapters in the platform's order; the list stays empty when the query fails.
    explicit NetworkAdapterList(IRouteTable& routeTable);

    std::size_t Count() const { return adapters_.size(); }
    bool Empty() const { return adapters_.empty(); }
    const BNetworkAdapter& At(std::size_t index) const { return *adapters_.at(index); }
    const std::vector<std::unique_ptr<BNetworkAdapter>>& Adapters() const { return adapters_; }

  private:
    std::vector<std::unique_ptr<BNetworkAdapter>> adapters_;
};

}  // namespace velk
