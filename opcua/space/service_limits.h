#pragma once
// The bounds the services enforce and the Server object advertises (OperationLimits,
// MaxBrowseContinuationPoints).
#include <cstdint>

namespace velk::ua {

struct ServiceLimits {
    std::uint32_t maxNodesPerRead = 10000;
    std::uint32_t maxNodesPerWrite = 10000;
    std::uint32_t maxNodesPerBrowse = 1000;
    std::uint32_t maxNodesPerTranslateBrowsePathsToNodeIds = 1000;
    std::uint32_t maxNodesPerRegisterNodes = 1000;
    std::uint32_t maxMonitoredItemsPerCall = 10000;
    // References one Browse result carries at most, whatever the client asks for; the
    // rest waits behind a continuation point.
    std::uint32_t maxReferencesPerNode = 1000;
    // Continuation points one session holds at once.
    std::uint16_t maxBrowseContinuationPoints = 10;
    std::uint32_t maxArrayLength = 1u << 20;
    std::uint32_t maxStringLength = 1u << 20;
};

}  // namespace velk::ua
