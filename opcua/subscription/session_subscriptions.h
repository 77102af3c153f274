#pragma once
// A session's subscriptions and its queue of Publish requests. Publish requests belong to
// the session, not to a subscription: each goes to the ready subscription of the highest
// priority (the longest waiting among equals), or waits in a bounded queue until one is
// ready. A subscription whose lifetime runs out is deleted and its end (StatusChange
// BadTimeout) goes out with the next Publish request. Driven by one thread: the
// connection's, which calls Tick when NextDue() has come and routes samples to OnSample.
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "opcua/subscription/sampling_source.h"
#include "opcua/subscription/subscription.h"
#include "opcua/subscription/subscription_limits.h"
#include "platform/clock.h"

namespace velk::ua {

// The answer to a Publish request: requestId is the caller's, to route the response.
struct PublishOutcome {
    std::uint64_t requestId = 0;
    PublishResponse response;
};

class SessionSubscriptions final : public ISampleSink {
  public:
    SessionSubscriptions(SubscriptionServerState& server, ISamplingSource& source,
                         const IClock& clock);
    // Stops the sampling of every item (the source outlives the session) and gives its count
    // back to the server.
    ~SessionSubscriptions() override;
    SessionSubscriptions(const SessionSubscriptions&) = delete;
    SessionSubscriptions& operator=(const SessionSubscriptions&) = delete;

    // Receives a line when a subscription is created, deleted or expires.
    void SetTrace(std::function<void(const std::string&)> trace) { trace_ = std::move(trace); }

    const SubscriptionLimits& Limits() const { return server_.Limits(); }
    SubscriptionServerState& Server() { return server_; }
    ISamplingSource& Source() { return source_; }
    DateTime Now() const { return DateTime{static_cast<std::int64_t>(clock_.NowUtc())}; }

    // nullptr with BadTooManySubscriptions past MaxSubscriptionsPerSession.
    Subscription* Create(const SubscriptionParameters& revised, bool publishingEnabled,
                         StatusCode& status);
    Subscription* Find(std::uint32_t id);
    // BadSubscriptionIdInvalid for an unknown id.
    StatusCode Delete(std::uint32_t id);
    std::size_t Count() const { return subscriptions_.size(); }

    // Adds an item (counted against MaxMonitoredItems, BadTooManyMonitoredItems past it);
    // sampling starts with StartSampling.
    MonitoredItem* AddItem(Subscription& subscription, std::unique_ptr<MonitoredItem> item,
                           StatusCode& status);
    void RemoveItem(Subscription& subscription, std::uint32_t itemId);
    // Starts the enabled ones among items in one call to the source.
    void StartSampling(Subscription& subscription, const std::vector<MonitoredItem*>& items);
    void StopSampling(const std::vector<MonitoredItem*>& items);

    // Takes a Publish request: its acknowledgements are applied, then it is answered into
    // out at once when a message is owed, or queued (BadTooManyPublishRequests when the
    // queue is full, BadNoSubscription when the session has no subscription).
    void Publish(std::uint64_t requestId, const PublishRequest& request,
                 std::vector<PublishOutcome>& out);
    // Runs the publishing cycles that ended by now, answers queued requests with the
    // messages that became ready and those past their timeout hint with BadTimeout.
    void Tick(std::vector<PublishOutcome>& out);
    // When Tick has work next (now for requests left without a subscription); 0 with
    // nothing to run.
    FileTime NextDue() const;
    std::size_t QueuedPublishRequests() const { return requests_.size(); }
    // Answers the queued Publish requests of requestHandle with BadRequestCancelledByClient
    // (a Cancel); gives their count.
    std::size_t CancelPublishRequests(std::uint32_t requestHandle,
                                      std::vector<PublishOutcome>& out);
    // Drops, unanswered, the queued Publish requests whose requestId passes which: those of
    // a channel that closed or that the session left, which nobody could receive.
    std::size_t DropPublishRequests(const std::function<bool(std::uint64_t requestId)>& which);

    void OnSample(SamplingHandle handle, const DataValue& value) override;

  private:
    struct QueuedRequest {
        std::uint64_t requestId = 0;
        std::uint32_t requestHandle = 0;
        FileTime deadline = 0;  // 0: none
        std::vector<StatusCode> results;
    };
    struct Ended {
        std::uint32_t subscriptionId = 0;
        NotificationMessage message;
    };

    void Erase(std::uint32_t id);
    void Trace(const std::string& line) const {
        if (trace_) trace_(line);
    }
    Subscription* NextReady();
    bool AnswerOne(QueuedRequest request, std::vector<PublishOutcome>& out);
    PublishOutcome Fault(std::uint64_t requestId, std::uint32_t requestHandle,
                         StatusCode status) const;

    SubscriptionServerState& server_;
    ISamplingSource& source_;
    const IClock& clock_;
    std::map<std::uint32_t, std::unique_ptr<Subscription>> subscriptions_;
    std::deque<QueuedRequest> requests_;
    // At most one per subscription that expired, so bounded by the subscription count.
    std::deque<Ended> ended_;
    std::map<SamplingHandle, std::pair<std::uint32_t, std::uint32_t>> handles_;
    std::uint64_t readyOrder_ = 0;
    std::function<void(const std::string&)> trace_;
};

}  // namespace velk::ua
