#include "modbus/network_adapter_list.h"

#include "modbus/ip_address_text.h"

namespace velk {

NetworkAdapterList::NetworkAdapterList(IRouteTable& routeTable) {
    std::vector<PlatformAdapter> found;
    if (!routeTable.Adapters(found)) return;
    for (const PlatformAdapter& platformAdapter : found) {
        auto adapter = std::make_unique<BNetworkAdapter>();
        adapter->interfaceType = platformAdapter.interfaceType;
        adapter->interfaceIndex = platformAdapter.interfaceIndex;
        adapter->friendlyName = platformAdapter.friendlyName;
        adapter->description = platformAdapter.description;
        for (const PlatformAddress& address : platformAdapter.addresses) {
            adapter->networks.push_back(std::make_unique<BNetwork>(AddressToDotted(address.address),
                                                                   AddressToDotted(address.mask)));
        }
        adapters_.push_back(std::move(adapter));
    }
}

}  // namespace velk
