#include <algorithm>
#include <cmath>

#include "opcua/subscription/subscription_services.h"
#include "opcua/subscription/subscription_status_codes.h"

namespace velk::ua {

ResponseHeader ServiceResponseHeader(const RequestHeader& request, DateTime now,
                                     StatusCode result) {
    ResponseHeader header;
    header.timestamp = now;
    header.requestHandle = request.requestHandle;
    header.serviceResult = result;
    return header;
}

StatusCode CheckOperationCount(std::size_t count, const SubscriptionLimits& limits) {
    if (count == 0) return kBadNothingToDo;
    if (count > limits.maxMonitoredItemsPerCall) return kBadTooManyOperations;
    return kGood;
}

StatusCode ReviseMonitoringParameters(const MonitoringParameters& requested,
                                      std::uint32_t attributeId, const SampledNodeInfo& node,
                                      TimestampsToReturn timestamps,
                                      const Subscription& subscription,
                                      SessionSubscriptions& session, MonitoredItemSettings& out) {
    const StatusCode filter =
        ResolveDataChangeFilter(requested.filter, attributeId, node, out.filter);
    if (filter != kGood) return filter;
    double interval = requested.samplingInterval;
    if (!(interval >= 0)) interval = subscription.Parameters().publishingIntervalMs;
    out.samplingIntervalMs = session.Source().ReviseSamplingInterval(interval);
    out.queueSize =
        std::clamp<std::uint32_t>(requested.queueSize, 1, session.Limits().maxQueueSize);
    out.clientHandle = requested.clientHandle;
    out.discardOldest = requested.discardOldest;
    out.timestamps = timestamps;
    return kGood;
}

StatusCode CheckTimestampsToReturn(TimestampsToReturn timestamps) {
    const auto raw = static_cast<std::int32_t>(timestamps);
    return raw >= 0 && raw <= 3 ? kGood : kBadTimestampsToReturnInvalid;
}

}  // namespace velk::ua
