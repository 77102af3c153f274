#include "modbus/b_network_adapter.h"

namespace velk {

std::string BNetworkAdapter::ListLine() const {
    std::string index = std::to_string(interfaceIndex);
    if (index.size() < 2) index.insert(0, 2 - index.size(), '0');
    return friendlyName + " [" + index + "]";
}

bool BNetworkAdapter::HasAddress(const std::string& addressText) const {
    for (const auto& network : networks) {
        if (network->address == addressText) return true;
    }
    return false;
}

}  // namespace velk
