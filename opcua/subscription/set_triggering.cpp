#include "opcua/subscription/subscription_services.h"
#include "opcua/subscription/subscription_status_codes.h"

namespace velk::ua {

SetTriggeringResponse SetTriggering(const SetTriggeringRequest& request,
                                    SessionSubscriptions& session) {
    SetTriggeringResponse response;
    Subscription* subscription = session.Find(request.subscriptionId);
    StatusCode status = CheckOperationCount(
        request.linksToAdd.size() + request.linksToRemove.size(), session.Limits());
    if (status == kGood && subscription == nullptr) status = kBadSubscriptionIdInvalid;
    MonitoredItem* trigger =
        status == kGood ? subscription->FindItem(request.triggeringItemId) : nullptr;
    if (status == kGood && trigger == nullptr) status = kBadMonitoredItemIdInvalid;
    response.responseHeader = ServiceResponseHeader(request.requestHeader, session.Now(), status);
    if (status != kGood) return response;

    // Removals first, as a request may move a link by removing and adding it.
    for (const std::uint32_t id : request.linksToRemove) {
        response.removeResults.push_back(
            trigger->Links().erase(id) != 0 ? kGood : kBadMonitoredItemIdInvalid);
    }
    for (const std::uint32_t id : request.linksToAdd) {
        const bool known = subscription->FindItem(id) != nullptr;
        if (known) trigger->Links().insert(id);
        response.addResults.push_back(known ? kGood : kBadMonitoredItemIdInvalid);
    }
    return response;
}

}  // namespace velk::ua
