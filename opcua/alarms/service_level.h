#pragma once
// How a UA client of the redundant pair judges this server: the ServiceLevel from the
// server's health and the ServerRedundancy content from the redundancy settings.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velk::ua {

struct ServerHealth {
    bool starting = true;              // the configuration is not loaded and running yet
    std::size_t devices = 0;           // devices of the configuration
    std::size_t devicesInFailure = 0;  // of them, those whose communication has failed
};

// 0 while starting; 255 when every device communicates (also with no devices); 1 when none
// does; in between, from 199 down to 2 in proportion to the devices that communicate, so
// every failed device lowers the level and a degraded server stays below any healthy one.
std::uint8_t ServiceLevel(const ServerHealth& health);

// RedundancySupport values.
enum class RedundancySupport : std::int32_t {
    kNone = 0,
    kCold = 1,
    kWarm = 2,
    kHot = 3,
    kTransparent = 4,
    kHotAndMirrored = 5,
};

struct ServerRedundancyContent {
    RedundancySupport support = RedundancySupport::kNone;
    // This server's URI and the peer's, for a pair; empty without redundancy.
    std::vector<std::string> serverUris;
};

// The application URI of this server's program on a host (a name or an address).
std::string ApplicationUri(const std::string& host);

// The pair as the redundancy settings describe it (Enabled, AlternateServer): both servers
// acquire and serve at once (Hot); the URIs are this server's and the peer's, whose program
// is this one on the peer's host. Without redundancy or without a peer: None, no URIs.
ServerRedundancyContent ServerRedundancy(bool enabled, const std::string& ownUri,
                                         const std::string& peerAddress);

}  // namespace velk::ua
