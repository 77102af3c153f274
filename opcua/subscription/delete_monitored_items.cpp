#include "opcua/subscription/subscription_services.h"
#include "opcua/subscription/subscription_status_codes.h"

namespace velk::ua {

DeleteMonitoredItemsResponse DeleteMonitoredItems(const DeleteMonitoredItemsRequest& request,
                                                  SessionSubscriptions& session) {
    DeleteMonitoredItemsResponse response;
    Subscription* subscription = session.Find(request.subscriptionId);
    StatusCode status = CheckOperationCount(request.monitoredItemIds.size(), session.Limits());
    if (status == kGood && subscription == nullptr) status = kBadSubscriptionIdInvalid;
    response.responseHeader = ServiceResponseHeader(request.requestHeader, session.Now(), status);
    if (status != kGood) return response;
    for (const std::uint32_t id : request.monitoredItemIds) {
        const bool known = subscription->FindItem(id) != nullptr;
        if (known) session.RemoveItem(*subscription, id);
        response.results.push_back(known ? kGood : kBadMonitoredItemIdInvalid);
    }
    return response;
}

}  // namespace velk::ua
