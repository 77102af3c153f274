#include "opcua/subscription/subscription_services.h"
#include "opcua/subscription/subscription_status_codes.h"

namespace velk::ua {

SetPublishingModeResponse SetPublishingMode(const SetPublishingModeRequest& request,
                                            SessionSubscriptions& session) {
    SetPublishingModeResponse response;
    response.responseHeader = ServiceResponseHeader(
        request.requestHeader, session.Now(),
        CheckOperationCount(request.subscriptionIds.size(), session.Limits()));
    if (response.responseHeader.serviceResult != kGood) return response;
    for (const std::uint32_t id : request.subscriptionIds) {
        Subscription* subscription = session.Find(id);
        if (subscription != nullptr) subscription->SetPublishingEnabled(request.publishingEnabled);
        response.results.push_back(subscription ? kGood : kBadSubscriptionIdInvalid);
    }
    return response;
}

}  // namespace velk::ua
