#pragma once
// The four address texts of a Modbus TCP device as stored with its parameters: each
// channel's controller address and the address of the host adapter it is reached through.
#include <string>

namespace velk {

struct IpAddresses {
    std::string primaryIpAddress = "0.0.0.0";
    std::string secondaryIpAddress = "0.0.0.0";
    std::string primaryGatewayAddress = "0.0.0.0";
    std::string secondaryGatewayAddress = "0.0.0.0";

    bool operator==(const IpAddresses&) const = default;
};

}  // namespace velk
