#include "opcua/subscription/subscription.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "opcua/subscription/subscription_status_codes.h"

namespace velk::ua {

namespace {

FileTime IntervalTicks(double ms) {
    return static_cast<FileTime>(std::llround(ms * static_cast<double>(kFileTimeTicksPerMs)));
}

}  // namespace

SubscriptionParameters ReviseSubscriptionParameters(const SubscriptionParameters& requested,
                                                    const SubscriptionLimits& limits) {
    SubscriptionParameters r = requested;
    const double interval = requested.publishingIntervalMs;
    if (!(interval >= limits.minPublishingIntervalMs)) {
        r.publishingIntervalMs = limits.minPublishingIntervalMs;
    } else if (interval > limits.maxPublishingIntervalMs) {
        r.publishingIntervalMs = limits.maxPublishingIntervalMs;
    }
    r.maxKeepAliveCount = requested.maxKeepAliveCount == 0 ? limits.defaultKeepAliveCount
                                                           : requested.maxKeepAliveCount;
    r.maxKeepAliveCount = std::min(r.maxKeepAliveCount, limits.maxKeepAliveCount);
    const std::uint64_t least = 3ull * r.maxKeepAliveCount;
    const auto most = static_cast<std::uint64_t>(limits.maxLifetimeMs / r.publishingIntervalMs);
    std::uint64_t lifetime = std::min<std::uint64_t>(requested.lifetimeCount, most);
    lifetime = std::max(lifetime, least);
    r.lifetimeCount = static_cast<std::uint32_t>(std::min<std::uint64_t>(lifetime, 0xFFFFFFFFu));
    if (r.maxNotificationsPerPublish == 0 ||
        r.maxNotificationsPerPublish > limits.maxNotificationsPerPublish) {
        r.maxNotificationsPerPublish = limits.maxNotificationsPerPublish;
    }
    return r;
}

Subscription::Subscription(std::uint32_t id, const SubscriptionParameters& revised,
                           bool publishingEnabled, const SubscriptionLimits& limits, FileTime now)
    : id_(id),
      parameters_(revised),
      publishingEnabled_(publishingEnabled),
      limits_(limits),
      nextCycle_(now + IntervalTicks(revised.publishingIntervalMs)),
      lifetimeCounter_(revised.lifetimeCount),
      keepAliveCounter_(revised.maxKeepAliveCount) {}

void Subscription::Modify(const SubscriptionParameters& revised) {
    const FileTime start = nextCycle_ - IntervalTicks(parameters_.publishingIntervalMs);
    parameters_ = revised;
    nextCycle_ = start + IntervalTicks(revised.publishingIntervalMs);
    lifetimeCounter_ = revised.lifetimeCount;
    keepAliveCounter_ = revised.maxKeepAliveCount;
}

void Subscription::Realign(FileTime now) {
    nextCycle_ = now + IntervalTicks(parameters_.publishingIntervalMs);
}

std::uint32_t Subscription::NotificationBound() const {
    return parameters_.maxNotificationsPerPublish == 0 ? limits_.maxNotificationsPerPublish
                                                       : parameters_.maxNotificationsPerPublish;
}

bool Subscription::HasNotifications() const {
    return std::any_of(items_.begin(), items_.end(),
                       [](const auto& entry) { return entry.second->Reportable(); });
}

Subscription::Cycle Subscription::OnPublishingTimer(bool requestQueued) {
    nextCycle_ += IntervalTicks(parameters_.publishingIntervalMs);
    if (requestQueued) {
        lifetimeCounter_ = parameters_.lifetimeCount;
    } else {
        if (lifetimeCounter_ <= 1) return Cycle::kExpired;
        --lifetimeCounter_;
    }
    if (ready_) return Cycle::kReady;
    if (publishingEnabled_ && HasNotifications()) {
        ready_ = true;
        return Cycle::kReady;
    }
    // The first cycle tells the client the subscription works; later ones only after
    // maxKeepAliveCount silent cycles.
    if (!messageSent_ || keepAliveCounter_ <= 1) {
        ready_ = true;
        return Cycle::kReady;
    }
    --keepAliveCounter_;
    return Cycle::kIdle;
}

NotificationMessage Subscription::TakeMessage(DateTime now, bool& more) {
    NotificationMessage message;
    message.publishTime = now;
    message.sequenceNumber = nextSequenceNumber_;
    more = false;
    messageSent_ = true;
    ready_ = false;
    keepAliveCounter_ = parameters_.maxKeepAliveCount;
    lifetimeCounter_ = parameters_.lifetimeCount;
    if (!publishingEnabled_ || !HasNotifications()) return message;  // a keep-alive

    DataChangeNotification change;
    const std::size_t bound = NotificationBound();
    auto take = [&](auto first, auto last) {
        for (auto it = first; it != last && change.monitoredItems.size() < bound; ++it) {
            if (it->second->TakeNotifications(bound - change.monitoredItems.size(),
                                              change.monitoredItems) != 0) {
                cursor_ = it->first;
            }
        }
    };
    const auto split = items_.upper_bound(cursor_);
    take(split, items_.end());
    take(items_.begin(), split);

    message.notificationData.push_back(ToExtensionObject(change));
    nextSequenceNumber_ = nextSequenceNumber_ == 0xFFFFFFFFu ? 1 : nextSequenceNumber_ + 1;
    retransmission_.push_back(message);
    while (retransmission_.size() > limits_.maxRetransmissionMessages) {
        retransmission_.pop_front();
    }
    more = HasNotifications();
    ready_ = more;
    return message;
}

NotificationMessage Subscription::StatusChangeMessage(StatusCode status, DateTime now) const {
    NotificationMessage message;
    message.sequenceNumber = nextSequenceNumber_;
    message.publishTime = now;
    StatusChangeNotification notification;
    notification.status = status;
    message.notificationData.push_back(ToExtensionObject(notification));
    return message;
}

StatusCode Subscription::Acknowledge(std::uint32_t sequenceNumber) {
    const auto it = std::find_if(retransmission_.begin(), retransmission_.end(),
                                 [sequenceNumber](const NotificationMessage& m) {
                                     return m.sequenceNumber == sequenceNumber;
                                 });
    if (it == retransmission_.end()) return kBadSequenceNumberUnknown;
    retransmission_.erase(it);
    return kGood;
}

StatusCode Subscription::Republish(std::uint32_t sequenceNumber, NotificationMessage& out) const {
    for (const NotificationMessage& m : retransmission_) {
        if (m.sequenceNumber == sequenceNumber) {
            out = m;
            return kGood;
        }
    }
    return kBadMessageNotAvailable;
}

std::vector<std::uint32_t> Subscription::AvailableSequenceNumbers() const {
    std::vector<std::uint32_t> numbers;
    numbers.reserve(retransmission_.size());
    for (const NotificationMessage& m : retransmission_) numbers.push_back(m.sequenceNumber);
    return numbers;
}

MonitoredItem* Subscription::FindItem(std::uint32_t id) {
    const auto it = items_.find(id);
    return it == items_.end() ? nullptr : it->second.get();
}

void Subscription::RemoveItem(std::uint32_t id) {
    items_.erase(id);
    for (auto& entry : items_) entry.second->Links().erase(id);
}

void Subscription::OnItemQueued(MonitoredItem& item) {
    for (const std::uint32_t linked : item.Links()) {
        if (MonitoredItem* target = FindItem(linked)) target->Trigger();
    }
}

}  // namespace velk::ua
