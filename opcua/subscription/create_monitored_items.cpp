#include <memory>

#include "opcua/subscription/subscription_services.h"
#include "opcua/subscription/subscription_status_codes.h"

namespace velk::ua {

namespace {

bool ValidMode(MonitoringMode mode) {
    const auto raw = static_cast<std::int32_t>(mode);
    return raw >= 0 && raw <= 2;
}

}  // namespace

CreateMonitoredItemsResponse CreateMonitoredItems(const CreateMonitoredItemsRequest& request,
                                                  SessionSubscriptions& session) {
    CreateMonitoredItemsResponse response;
    Subscription* subscription = session.Find(request.subscriptionId);
    StatusCode status = CheckOperationCount(request.itemsToCreate.size(), session.Limits());
    if (status == kGood && subscription == nullptr) status = kBadSubscriptionIdInvalid;
    if (status == kGood) status = CheckTimestampsToReturn(request.timestampsToReturn);
    response.responseHeader = ServiceResponseHeader(request.requestHeader, session.Now(), status);
    if (status != kGood) return response;

    std::vector<MonitoredItem*> created;
    for (const MonitoredItemCreateRequest& item : request.itemsToCreate) {
        MonitoredItemCreateResult& result = response.results.emplace_back();
        const ReadValueId& target = item.itemToMonitor;
        if (!ValidMode(item.monitoringMode)) {
            result.statusCode = kBadMonitoringModeInvalid;
            continue;
        }
        if (!target.indexRange.empty()) {
            result.statusCode = kBadIndexRangeInvalid;
            continue;
        }
        // The values served are no structures, so they have no encodings to choose from.
        if (!target.dataEncoding.name.empty()) {
            result.statusCode = kBadDataEncodingInvalid;
            continue;
        }
        const SampledNodeInfo node = session.Source().Describe(target.nodeId, target.attributeId);
        if (node.status != kGood) {
            result.statusCode = node.status;
            continue;
        }
        MonitoredItemSettings settings;
        result.statusCode = ReviseMonitoringParameters(item.requestedParameters, target.attributeId,
                                                       node, request.timestampsToReturn,
                                                       *subscription, session, settings);
        if (result.statusCode != kGood) continue;
        const std::uint32_t id = subscription->NextItemId();
        MonitoredItem* added = session.AddItem(
            *subscription,
            std::make_unique<MonitoredItem>(id, target, item.monitoringMode, settings),
            result.statusCode);
        if (added == nullptr) continue;
        result.monitoredItemId = id;
        result.revisedSamplingInterval = settings.samplingIntervalMs;
        result.revisedQueueSize = settings.queueSize;
        created.push_back(added);
    }
    session.StartSampling(*subscription, created);
    return response;
}

}  // namespace velk::ua
