#include "opcua/subscription/session_subscriptions.h"

#include <algorithm>
#include <string>

#include "opcua/subscription/subscription_status_codes.h"

namespace velk::ua {

SessionSubscriptions::SessionSubscriptions(SubscriptionServerState& server, ISamplingSource& source,
                                           const IClock& clock)
    : server_(server), source_(source), clock_(clock) {}

SessionSubscriptions::~SessionSubscriptions() {
    while (!subscriptions_.empty()) Erase(subscriptions_.begin()->first);
}

Subscription* SessionSubscriptions::Create(const SubscriptionParameters& revised,
                                           bool publishingEnabled, StatusCode& status) {
    if (subscriptions_.size() >= Limits().maxSubscriptionsPerSession) {
        status = kBadTooManySubscriptions;
        return nullptr;
    }
    const std::uint32_t id = server_.NextSubscriptionId();
    auto subscription =
        std::make_unique<Subscription>(id, revised, publishingEnabled, Limits(), clock_.NowUtc());
    Subscription* raw = subscription.get();
    subscriptions_.emplace(id, std::move(subscription));
    status = kGood;
    Trace("OPC UA subscription " + std::to_string(id) + " created");
    return raw;
}

Subscription* SessionSubscriptions::Find(std::uint32_t id) {
    const auto it = subscriptions_.find(id);
    return it == subscriptions_.end() ? nullptr : it->second.get();
}

void SessionSubscriptions::Erase(std::uint32_t id) {
    Subscription* subscription = Find(id);
    if (subscription == nullptr) return;
    std::vector<MonitoredItem*> items;
    for (auto& entry : subscription->Items()) items.push_back(entry.second.get());
    StopSampling(items);
    server_.GiveMonitoredItems(static_cast<std::uint32_t>(items.size()));
    subscriptions_.erase(id);
}

StatusCode SessionSubscriptions::Delete(std::uint32_t id) {
    if (Find(id) == nullptr) return kBadSubscriptionIdInvalid;
    Erase(id);
    Trace("OPC UA subscription " + std::to_string(id) + " deleted");
    return kGood;
}

MonitoredItem* SessionSubscriptions::AddItem(Subscription& subscription,
                                             std::unique_ptr<MonitoredItem> item,
                                             StatusCode& status) {
    if (!server_.TakeMonitoredItem()) {
        status = kBadTooManyMonitoredItems;
        return nullptr;
    }
    MonitoredItem* raw = item.get();
    subscription.Items().emplace(item->Id(), std::move(item));
    status = kGood;
    return raw;
}

void SessionSubscriptions::RemoveItem(Subscription& subscription, std::uint32_t itemId) {
    MonitoredItem* item = subscription.FindItem(itemId);
    if (item == nullptr) return;
    StopSampling({item});
    subscription.RemoveItem(itemId);
    server_.GiveMonitoredItems(1);
}

void SessionSubscriptions::StartSampling(Subscription& subscription,
                                         const std::vector<MonitoredItem*>& items) {
    std::vector<SampleSpec> specs;
    std::vector<MonitoredItem*> started;
    for (MonitoredItem* item : items) {
        if (item->Handle() != 0 || item->Mode() == MonitoringMode::kDisabled) continue;
        specs.push_back(
            {item->Item().nodeId, item->Item().attributeId, item->Settings().samplingIntervalMs});
        started.push_back(item);
    }
    if (specs.empty()) return;
    const std::vector<SamplingHandle> handles = source_.StartSampling(specs, *this);
    for (std::size_t i = 0; i < started.size() && i < handles.size(); ++i) {
        started[i]->SetHandle(handles[i]);
        handles_[handles[i]] = {subscription.Id(), started[i]->Id()};
    }
}

void SessionSubscriptions::StopSampling(const std::vector<MonitoredItem*>& items) {
    std::vector<SamplingHandle> handles;
    for (MonitoredItem* item : items) {
        if (item->Handle() == 0) continue;
        handles.push_back(item->Handle());
        handles_.erase(item->Handle());
        item->SetHandle(0);
    }
    if (!handles.empty()) source_.StopSampling(handles);
}

void SessionSubscriptions::OnSample(SamplingHandle handle, const DataValue& value) {
    const auto it = handles_.find(handle);
    if (it == handles_.end()) return;
    Subscription* subscription = Find(it->second.first);
    MonitoredItem* item = subscription ? subscription->FindItem(it->second.second) : nullptr;
    if (item == nullptr) return;
    if (item->OnSample(value, Now())) subscription->OnItemQueued(*item);
}

PublishOutcome SessionSubscriptions::Fault(std::uint64_t requestId, std::uint32_t requestHandle,
                                           StatusCode status) const {
    PublishOutcome outcome;
    outcome.requestId = requestId;
    outcome.response.responseHeader.timestamp = Now();
    outcome.response.responseHeader.requestHandle = requestHandle;
    outcome.response.responseHeader.serviceResult = status;
    return outcome;
}

std::size_t SessionSubscriptions::CancelPublishRequests(std::uint32_t requestHandle,
                                                        std::vector<PublishOutcome>& out) {
    std::size_t count = 0;
    for (auto it = requests_.begin(); it != requests_.end();) {
        if (it->requestHandle != requestHandle) {
            ++it;
            continue;
        }
        out.push_back(Fault(it->requestId, it->requestHandle, kBadRequestCancelledByClient));
        it = requests_.erase(it);
        ++count;
    }
    return count;
}

std::size_t SessionSubscriptions::DropPublishRequests(
    const std::function<bool(std::uint64_t requestId)>& which) {
    const std::size_t before = requests_.size();
    std::erase_if(requests_, [&](const QueuedRequest& r) { return which(r.requestId); });
    return before - requests_.size();
}

Subscription* SessionSubscriptions::NextReady() {
    Subscription* best = nullptr;
    for (auto& entry : subscriptions_) {
        Subscription* s = entry.second.get();
        if (!s->Ready()) continue;
        if (best == nullptr || s->Parameters().priority > best->Parameters().priority ||
            (s->Parameters().priority == best->Parameters().priority &&
             s->ReadySince() < best->ReadySince())) {
            best = s;
        }
    }
    return best;
}

bool SessionSubscriptions::AnswerOne(QueuedRequest request, std::vector<PublishOutcome>& out) {
    PublishOutcome outcome = Fault(request.requestId, request.requestHandle, kGood);
    PublishResponse& response = outcome.response;
    response.results = std::move(request.results);
    if (!ended_.empty()) {
        response.subscriptionId = ended_.front().subscriptionId;
        response.notificationMessage = std::move(ended_.front().message);
        ended_.pop_front();
        out.push_back(std::move(outcome));
        return true;
    }
    Subscription* subscription = NextReady();
    if (subscription == nullptr) return false;
    bool more = false;
    response.subscriptionId = subscription->Id();
    response.notificationMessage = subscription->TakeMessage(Now(), more);
    response.moreNotifications = more;
    response.availableSequenceNumbers = subscription->AvailableSequenceNumbers();
    // Left over notifications wait behind the other ready subscriptions.
    if (more) subscription->SetReadySince(++readyOrder_);
    out.push_back(std::move(outcome));
    return true;
}

void SessionSubscriptions::Publish(std::uint64_t requestId, const PublishRequest& request,
                                   std::vector<PublishOutcome>& out) {
    const std::uint32_t handle = request.requestHeader.requestHandle;
    if (subscriptions_.empty() && ended_.empty()) {
        out.push_back(Fault(requestId, handle, kBadNoSubscription));
        return;
    }
    if (requests_.size() >= Limits().maxPublishRequestsPerSession) {
        out.push_back(Fault(requestId, handle, kBadTooManyPublishRequests));
        return;
    }
    QueuedRequest queued;
    queued.requestId = requestId;
    queued.requestHandle = handle;
    for (const SubscriptionAcknowledgement& ack : request.subscriptionAcknowledgements) {
        Subscription* s = Find(ack.subscriptionId);
        queued.results.push_back(s ? s->Acknowledge(ack.sequenceNumber)
                                   : kBadSubscriptionIdInvalid);
    }
    for (auto& entry : subscriptions_) entry.second->ResetLifetime();
    if (request.requestHeader.timeoutHint != 0) {
        queued.deadline =
            clock_.NowUtc() + FileTime{request.requestHeader.timeoutHint} * kFileTimeTicksPerMs;
    }
    // Requests queued earlier are answered first.
    if (requests_.empty() && AnswerOne(queued, out)) return;
    requests_.push_back(std::move(queued));
}

void SessionSubscriptions::Tick(std::vector<PublishOutcome>& out) {
    const FileTime now = clock_.NowUtc();
    for (auto it = requests_.begin(); it != requests_.end();) {
        if (it->deadline != 0 && it->deadline <= now) {
            out.push_back(Fault(it->requestId, it->requestHandle, kBadTimeout));
            it = requests_.erase(it);
        } else {
            ++it;
        }
    }
    std::vector<std::uint32_t> expired;
    for (auto& [id, subscription] : subscriptions_) {
        // Past a lifetime of missed cycles (the clock jumped) the rest are one cycle.
        std::uint64_t cycles = 0;
        const std::uint64_t most = std::uint64_t{subscription->Parameters().lifetimeCount} + 1;
        while (subscription->NextCycle() <= now) {
            if (++cycles > most) {
                subscription->Realign(now);
                break;
            }
            const bool wasReady = subscription->Ready();
            const Subscription::Cycle cycle = subscription->OnPublishingTimer(!requests_.empty());
            if (cycle == Subscription::Cycle::kExpired) {
                expired.push_back(id);
                break;
            }
            if (cycle == Subscription::Cycle::kReady && !wasReady) {
                subscription->SetReadySince(++readyOrder_);
            }
        }
    }
    for (const std::uint32_t id : expired) {
        ended_.push_back({id, Find(id)->StatusChangeMessage(kBadTimeout, Now())});
        Trace("OPC UA subscription " + std::to_string(id) + " expired without Publish requests");
        while (ended_.size() > Limits().maxSubscriptionsPerSession) ended_.pop_front();
        Erase(id);
    }
    while (!requests_.empty() && AnswerOne(requests_.front(), out)) requests_.pop_front();
    if (subscriptions_.empty() && ended_.empty()) {
        for (const QueuedRequest& r : requests_) {
            out.push_back(Fault(r.requestId, r.requestHandle, kBadNoSubscription));
        }
        requests_.clear();
    }
}

FileTime SessionSubscriptions::NextDue() const {
    // Requests left without a subscription (the last one was deleted) are answered now.
    if (!requests_.empty() && subscriptions_.empty() && ended_.empty()) return clock_.NowUtc();
    FileTime due = 0;
    auto earlier = [&due](FileTime t) {
        if (t != 0 && (due == 0 || t < due)) due = t;
    };
    for (const auto& entry : subscriptions_) earlier(entry.second->NextCycle());
    for (const QueuedRequest& r : requests_) earlier(r.deadline);
    return due;
}

}  // namespace velk::ua
