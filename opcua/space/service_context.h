#pragma once
// What a service call is given besides its request: the address space, the reader of tag
// values, the clock, the limits, and the calling session's state.
#include <cstdint>
#include <vector>

#include "opcua/service_headers.h"
#include "opcua/space/address_space.h"
#include "opcua/space/browse_continuations.h"
#include "opcua/space/service_limits.h"

namespace velk {
class IClock;
}

namespace velk::ua {

// The value of a plant tag, read for the Read service and later for sampling. The stored
// reader gives the value record the scan keeps; the scan engine's reader reads the
// controller when the stored value is older than maxAge.
class ITagValueReader {
  public:
    virtual ~ITagValueReader() = default;
    // The DataValue of the tag with the node's item ID (value, status, source time);
    // BadNodeIdUnknown when the tag is gone.
    virtual DataValue ReadTagValue(const NodeId& node, double maxAgeMs) = 0;
    // Called once per Read request before its ReadTagValue calls, with every node whose
    // Value it reads: a reader that goes to the controllers reads each device once here,
    // rather than once per tag.
    virtual void Refresh(const std::vector<NodeId>& /*nodes*/, double /*maxAgeMs*/) {}
};

// The per-session state the address space services keep. It holds no lock: a session's
// requests are served one at a time, in order.
struct SessionSpaceState {
    explicit SessionSpaceState(std::uint16_t maxContinuationPoints)
        : continuations(maxContinuationPoints) {}
    BrowseContinuations continuations;
};

struct ServiceContext {
    const IAddressSpace& space;
    ITagValueReader& values;
    const IClock& clock;
    const ServiceLimits& limits;
    SessionSpaceState& session;
};

// The response header of a request: its handle, the time and the service's result.
ResponseHeader ResponseHeaderFor(const ServiceContext& context, const RequestHeader& request,
                                 StatusCode serviceResult = kGood);

}  // namespace velk::ua
