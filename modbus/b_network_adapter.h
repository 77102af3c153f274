#pragma once
// One host adapter with its IPv4 addresses; it owns its networks.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "modbus/b_network.h"

namespace velk {

class BNetworkAdapter {
  public:
    // The adapter's line in the "Gateway device:" lists: friendly name, then the interface
    // index with at least two digits in brackets, such as "LAN2 [07]".
    std::string ListLine() const;
    // Whether one of the adapter's networks has exactly this address text.
    bool HasAddress(const std::string& addressText) const;

    std::uint32_t interfaceType = 0;  // IANA ifType (6 ethernet, 24 loopback, ...)
    std::uint32_t interfaceIndex = 0;
    std::string friendlyName;
    std::string description;
    std::vector<std::unique_ptr<BNetwork>> networks;
};

}  // namespace velk
