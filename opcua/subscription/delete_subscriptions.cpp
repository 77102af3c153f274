#include "opcua/subscription/subscription_services.h"

namespace velk::ua {

DeleteSubscriptionsResponse DeleteSubscriptions(const DeleteSubscriptionsRequest& request,
                                                SessionSubscriptions& session) {
    DeleteSubscriptionsResponse response;
    response.responseHeader = ServiceResponseHeader(
        request.requestHeader, session.Now(),
        CheckOperationCount(request.subscriptionIds.size(), session.Limits()));
    if (response.responseHeader.serviceResult != kGood) return response;
    for (const std::uint32_t id : request.subscriptionIds) {
        response.results.push_back(session.Delete(id));
    }
    return response;
}

}  // namespace velk::ua
