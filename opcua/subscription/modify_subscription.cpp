#include "opcua/subscription/subscription_services.h"
#include "opcua/subscription/subscription_status_codes.h"

namespace velk::ua {

ModifySubscriptionResponse ModifySubscription(const ModifySubscriptionRequest& request,
                                              SessionSubscriptions& session) {
    ModifySubscriptionResponse response;
    Subscription* subscription = session.Find(request.subscriptionId);
    if (subscription == nullptr) {
        response.responseHeader =
            ServiceResponseHeader(request.requestHeader, session.Now(), kBadSubscriptionIdInvalid);
        return response;
    }
    SubscriptionParameters requested;
    requested.publishingIntervalMs = request.requestedPublishingInterval;
    requested.lifetimeCount = request.requestedLifetimeCount;
    requested.maxKeepAliveCount = request.requestedMaxKeepAliveCount;
    requested.maxNotificationsPerPublish = request.maxNotificationsPerPublish;
    requested.priority = request.priority;
    const SubscriptionParameters revised =
        ReviseSubscriptionParameters(requested, session.Limits());
    subscription->Modify(revised);
    response.responseHeader = ServiceResponseHeader(request.requestHeader, session.Now());
    response.revisedPublishingInterval = revised.publishingIntervalMs;
    response.revisedLifetimeCount = revised.lifetimeCount;
    response.revisedMaxKeepAliveCount = revised.maxKeepAliveCount;
    return response;
}

}  // namespace velk::ua
