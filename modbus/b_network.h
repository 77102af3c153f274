#pragma once
// One IPv4 address of a host adapter, as the "IP address configuration" dialog lists it.
#include <string>
#include <utility>

namespace velk {

class BNetwork {
  public:
    BNetwork(std::string addressText, std::string maskText)
        : address(std::move(addressText)), mask(std::move(maskText)) {}

    std::string address;  // dotted, such as "10.1.0.9"
    std::string mask;     // dotted, such as "255.255.0.0"
};

}  // namespace velk
