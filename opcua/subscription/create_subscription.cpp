#include "opcua/subscription/subscription_services.h"

namespace velk::ua {

CreateSubscriptionResponse CreateSubscription(const CreateSubscriptionRequest& request,
                                              SessionSubscriptions& session) {
    CreateSubscriptionResponse response;
    SubscriptionParameters requested;
    requested.publishingIntervalMs = request.requestedPublishingInterval;
    requested.lifetimeCount = request.requestedLifetimeCount;
    requested.maxKeepAliveCount = request.requestedMaxKeepAliveCount;
    requested.maxNotificationsPerPublish = request.maxNotificationsPerPublish;
    requested.priority = request.priority;
    const SubscriptionParameters revised =
        ReviseSubscriptionParameters(requested, session.Limits());
    StatusCode status;
    Subscription* subscription = session.Create(revised, request.publishingEnabled, status);
    response.responseHeader = ServiceResponseHeader(request.requestHeader, session.Now(), status);
    if (subscription == nullptr) return response;
    response.subscriptionId = subscription->Id();
    response.revisedPublishingInterval = revised.publishingIntervalMs;
    response.revisedLifetimeCount = revised.lifetimeCount;
    response.revisedMaxKeepAliveCount = revised.maxKeepAliveCount;
    return response;
}

}  // namespace velk::ua
