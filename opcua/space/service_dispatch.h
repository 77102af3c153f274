#pragma once
// The address space services reached by the type of their request message: the request is
// decoded from the message body by its schema table, the service called, and its response
// (or a ServiceFault) encoded with the NodeId of its type in front, as the secure channel
// sends a message body.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "opcua/space/service_context.h"

namespace velk::ua {

// The encoded response, or none when typeId names none of Browse, BrowseNext,
// TranslateBrowsePathsToNodeIds, Read, RegisterNodes and UnregisterNodes. A body that does
// not decode, or that has bytes left after the request, is answered by a ServiceFault with
// BadDecodingError (or the reader's limit error); a response that cannot be encoded by one
// with BadEncodingLimitsExceeded.
std::optional<std::vector<std::uint8_t>> CallSpaceService(ServiceContext& context,
                                                          const NodeId& typeId,
                                                          std::span<const std::uint8_t> body,
                                                          const DecodeLimits& limits = {});

}  // namespace velk::ua
