#pragma once
// Connecting a sink object of this client to a server object's connection point
// (VELK.OPC.IConnectionPointContainer), as the DA and AE objects all offer it.
#include <sdbus-c++/IProxy.h>

#include <cstdint>
#include <string>

namespace velk::client {

// The cookie of the new connection; throws BusCallError naming the server when refused.
std::uint32_t AdviseSink(sdbus::IProxy& object, const std::string& server,
                         const std::string& sinkInterface, const std::string& sinkPath);
void UnadviseSink(sdbus::IProxy& object, const std::string& server,
                  const std::string& sinkInterface, std::uint32_t cookie);

}  // namespace velk::client
