#include "opcua/subscription/subscription_services.h"
#include "opcua/subscription/subscription_status_codes.h"

namespace velk::ua {

ModifyMonitoredItemsResponse ModifyMonitoredItems(const ModifyMonitoredItemsRequest& request,
                                                  SessionSubscriptions& session) {
    ModifyMonitoredItemsResponse response;
    Subscription* subscription = session.Find(request.subscriptionId);
    StatusCode status = CheckOperationCount(request.itemsToModify.size(), session.Limits());
    if (status == kGood && subscription == nullptr) status = kBadSubscriptionIdInvalid;
    if (status == kGood) status = CheckTimestampsToReturn(request.timestampsToReturn);
    response.responseHeader = ServiceResponseHeader(request.requestHeader, session.Now(), status);
    if (status != kGood) return response;

    std::vector<MonitoredItem*> resampled;
    for (const MonitoredItemModifyRequest& modify : request.itemsToModify) {
        MonitoredItemModifyResult& result = response.results.emplace_back();
        MonitoredItem* item = subscription->FindItem(modify.monitoredItemId);
        if (item == nullptr) {
            result.statusCode = kBadMonitoredItemIdInvalid;
            continue;
        }
        const SampledNodeInfo node =
            session.Source().Describe(item->Item().nodeId, item->Item().attributeId);
        MonitoredItemSettings settings;
        result.statusCode = ReviseMonitoringParameters(
            modify.requestedParameters, item->Item().attributeId, node, request.timestampsToReturn,
            *subscription, session, settings);
        if (result.statusCode != kGood) continue;
        const bool newInterval = settings.samplingIntervalMs != item->Settings().samplingIntervalMs;
        item->Modify(settings);
        if (newInterval && item->Handle() != 0) {
            session.StopSampling({item});
            resampled.push_back(item);
        }
        result.revisedSamplingInterval = settings.samplingIntervalMs;
        result.revisedQueueSize = settings.queueSize;
    }
    session.StartSampling(*subscription, resampled);
    return response;
}

}  // namespace velk::ua
