#include "opcua/alarms/service_level.h"

#include <algorithm>

namespace velk::ua {

std::uint8_t ServiceLevel(const ServerHealth& health) {
    if (health.starting) return 0;
    if (health.devices == 0) return 255;
    const std::size_t failed = std::min(health.devicesInFailure, health.devices);
    if (failed == 0) return 255;
    if (failed == health.devices) return 1;
    const std::size_t communicating = health.devices - failed;
    // 2..199, rounded down, never reaching either end for a partial failure.
    const std::size_t level = 2 + (197 * communicating) / health.devices;
    return static_cast<std::uint8_t>(std::clamp<std::size_t>(level, 2, 199));
}

std::string ApplicationUri(const std::string& host) {
    return "urn:" + host + ":VELK:ModbusOPCServer";
}

ServerRedundancyContent ServerRedundancy(bool enabled, const std::string& ownUri,
                                         const std::string& peerAddress) {
    ServerRedundancyContent content;
    if (!enabled || peerAddress.empty()) return content;
    content.support = RedundancySupport::kHot;
    content.serverUris = {ownUri, ApplicationUri(peerAddress)};
    return content;
}

}  // namespace velk::ua
