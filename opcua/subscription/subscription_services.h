#pragma once
// The Subscription and MonitoredItem services: each a function from a request and the
// session's subscriptions to its response, one per file. A request the service refuses as
// a whole has the code in its response header's serviceResult (the caller then sends a
// ServiceFault); per-operation codes are in the results.
#include <cstdint>
#include <vector>

#include "opcua/subscription/session_subscriptions.h"
#include "opcua/subscription/subscription_messages.h"

namespace velk::ua {

CreateSubscriptionResponse CreateSubscription(const CreateSubscriptionRequest& request,
                                              SessionSubscriptions& session);
ModifySubscriptionResponse ModifySubscription(const ModifySubscriptionRequest& request,
                                              SessionSubscriptions& session);
SetPublishingModeResponse SetPublishingMode(const SetPublishingModeRequest& request,
                                            SessionSubscriptions& session);
// Answers may come now (into out) or later from SessionSubscriptions::Tick.
void Publish(std::uint64_t requestId, const PublishRequest& request, SessionSubscriptions& session,
             std::vector<PublishOutcome>& out);
RepublishResponse Republish(const RepublishRequest& request, SessionSubscriptions& session);
DeleteSubscriptionsResponse DeleteSubscriptions(const DeleteSubscriptionsRequest& request,
                                                SessionSubscriptions& session);
// Subscriptions stay with the session that made them: BadServiceUnsupported.
TransferSubscriptionsResponse TransferSubscriptions(const TransferSubscriptionsRequest& request,
                                                    SessionSubscriptions& session);
CreateMonitoredItemsResponse CreateMonitoredItems(const CreateMonitoredItemsRequest& request,
                                                  SessionSubscriptions& session);
ModifyMonitoredItemsResponse ModifyMonitoredItems(const ModifyMonitoredItemsRequest& request,
                                                  SessionSubscriptions& session);
SetMonitoringModeResponse SetMonitoringMode(const SetMonitoringModeRequest& request,
                                            SessionSubscriptions& session);
SetTriggeringResponse SetTriggering(const SetTriggeringRequest& request,
                                    SessionSubscriptions& session);
DeleteMonitoredItemsResponse DeleteMonitoredItems(const DeleteMonitoredItemsRequest& request,
                                                  SessionSubscriptions& session);

// The header of a response to request, with the service result.
ResponseHeader ServiceResponseHeader(const RequestHeader& request, DateTime now,
                                     StatusCode result = kGood);
// BadNothingToDo for no operations, BadTooManyOperations past the per-call bound.
StatusCode CheckOperationCount(std::size_t count, const SubscriptionLimits& limits);

// The item's settings for requested parameters on node: a negative (or NaN) sampling
// interval is the subscription's publishing interval, the source revises it to one it
// samples at; a queue size of 0 is 1, one above the bound the bound. Fails with the
// filter's code (see ResolveDataChangeFilter).
StatusCode ReviseMonitoringParameters(const MonitoringParameters& requested,
                                      std::uint32_t attributeId, const SampledNodeInfo& node,
                                      TimestampsToReturn timestamps,
                                      const Subscription& subscription,
                                      SessionSubscriptions& session, MonitoredItemSettings& out);
// BadTimestampsToReturnInvalid outside Source, Server, Both and Neither.
StatusCode CheckTimestampsToReturn(TimestampsToReturn timestamps);

}  // namespace velk::ua
