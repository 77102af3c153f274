#include "opcua/subscription/subscription_services.h"
#include "opcua/subscription/subscription_status_codes.h"

namespace velk::ua {

SetMonitoringModeResponse SetMonitoringMode(const SetMonitoringModeRequest& request,
                                            SessionSubscriptions& session) {
    SetMonitoringModeResponse response;
    Subscription* subscription = session.Find(request.subscriptionId);
    StatusCode status = CheckOperationCount(request.monitoredItemIds.size(), session.Limits());
    if (status == kGood && subscription == nullptr) status = kBadSubscriptionIdInvalid;
    const auto mode = static_cast<std::int32_t>(request.monitoringMode);
    if (status == kGood && (mode < 0 || mode > 2)) status = kBadMonitoringModeInvalid;
    response.responseHeader = ServiceResponseHeader(request.requestHeader, session.Now(), status);
    if (status != kGood) return response;

    std::vector<MonitoredItem*> enabled;
    std::vector<MonitoredItem*> disabled;
    for (const std::uint32_t id : request.monitoredItemIds) {
        MonitoredItem* item = subscription->FindItem(id);
        response.results.push_back(item ? kGood : kBadMonitoredItemIdInvalid);
        if (item == nullptr) continue;
        item->SetMode(request.monitoringMode);
        // A disabled item does not sample; an enabled one samples again from its first value.
        if (request.monitoringMode == MonitoringMode::kDisabled) {
            disabled.push_back(item);
        } else {
            enabled.push_back(item);
        }
    }
    session.StopSampling(disabled);
    session.StartSampling(*subscription, enabled);
    return response;
}

}  // namespace velk::ua
