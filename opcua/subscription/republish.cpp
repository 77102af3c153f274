#include "opcua/subscription/subscription_services.h"
#include "opcua/subscription/subscription_status_codes.h"

namespace velk::ua {

RepublishResponse Republish(const RepublishRequest& request, SessionSubscriptions& session) {
    RepublishResponse response;
    Subscription* subscription = session.Find(request.subscriptionId);
    const StatusCode status = subscription == nullptr
                                  ? kBadSubscriptionIdInvalid
                                  : subscription->Republish(request.retransmitSequenceNumber,
                                                            response.notificationMessage);
    response.responseHeader = ServiceResponseHeader(request.requestHeader, session.Now(), status);
    return response;
}

}  // namespace velk::ua
