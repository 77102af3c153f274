#pragma once
// One subscription: its publishing cycle (keep-alive and lifetime counters, publishing
// enabled or not, priority), its monitored items, the sequence numbers of its messages and
// the bounded queue of sent messages kept for Republish until acknowledged.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <vector>

#include "opcua/subscription/monitored_item.h"
#include "opcua/subscription/subscription_limits.h"
#include "platform/clock.h"

namespace velk::ua {

struct SubscriptionParameters {
    double publishingIntervalMs = 0;
    std::uint32_t lifetimeCount = 0;
    std::uint32_t maxKeepAliveCount = 0;
    // 0: the server's own bound.
    std::uint32_t maxNotificationsPerPublish = 0;
    std::uint8_t priority = 0;
};

// The revised parameters for a client's request: the interval within the server's
// bounds (a NaN or too small one the fastest), a keep-alive count of 0 the default one, a
// lifetime count at least three keep-alive counts and within the longest lifetime.
SubscriptionParameters ReviseSubscriptionParameters(const SubscriptionParameters& requested,
                                                    const SubscriptionLimits& limits);

class Subscription {
  public:
    enum class Cycle {
        kIdle,     // nothing to send this cycle
        kReady,    // notifications or a keep-alive wait for a Publish request
        kExpired,  // the lifetime ran out without Publish requests
    };

    Subscription(std::uint32_t id, const SubscriptionParameters& revised, bool publishingEnabled,
                 const SubscriptionLimits& limits, FileTime now);

    std::uint32_t Id() const { return id_; }
    const SubscriptionParameters& Parameters() const { return parameters_; }
    bool PublishingEnabled() const { return publishingEnabled_; }
    void SetPublishingEnabled(bool enabled) { publishingEnabled_ = enabled; }
    // Takes revised parameters; the counters restart with them.
    void Modify(const SubscriptionParameters& revised);

    // The end of the current publishing interval.
    FileTime NextCycle() const { return nextCycle_; }
    // Runs the cycle that ends at NextCycle() and starts the next. requestQueued: the
    // session holds a Publish request this subscription could use.
    Cycle OnPublishingTimer(bool requestQueued);
    // After a jump of the clock: the next cycle ends one interval from now.
    void Realign(FileTime now);
    // Owes a message to the next Publish request.
    bool Ready() const { return ready_; }
    // The order among ready subscriptions: higher priority first, then the longest late.
    std::uint64_t ReadySince() const { return readySince_; }
    void SetReadySince(std::uint64_t order) { readySince_ = order; }

    // The message for a Publish request: notifications up to the per-message bound (kept
    // for Republish) or a keep-alive. more: notifications are left for the next request.
    NotificationMessage TakeMessage(DateTime now, bool& more);
    // The message that announces this subscription's end with status.
    NotificationMessage StatusChangeMessage(StatusCode status, DateTime now) const;
    // A Publish request arrived: the client is alive.
    void ResetLifetime() { lifetimeCounter_ = parameters_.lifetimeCount; }

    // Good, or BadSequenceNumberUnknown for a number not (or no longer) kept.
    StatusCode Acknowledge(std::uint32_t sequenceNumber);
    // Good with the kept message, or BadMessageNotAvailable.
    StatusCode Republish(std::uint32_t sequenceNumber, NotificationMessage& out) const;
    std::vector<std::uint32_t> AvailableSequenceNumbers() const;

    // Items by id; ids start at 1 and are not reused.
    std::map<std::uint32_t, std::unique_ptr<MonitoredItem>>& Items() { return items_; }
    MonitoredItem* FindItem(std::uint32_t id);
    std::uint32_t NextItemId() { return nextItemId_++; }
    // Removes an item and the triggering links to it.
    void RemoveItem(std::uint32_t id);
    // An item queued a value: the items it links to are triggered.
    void OnItemQueued(MonitoredItem& item);

  private:
    bool HasNotifications() const;
    std::uint32_t NotificationBound() const;

    std::uint32_t id_;
    SubscriptionParameters parameters_;
    bool publishingEnabled_;
    const SubscriptionLimits& limits_;
    FileTime nextCycle_;
    std::uint32_t lifetimeCounter_ = 0;
    std::uint32_t keepAliveCounter_ = 0;
    bool messageSent_ = false;
    bool ready_ = false;
    std::uint64_t readySince_ = 0;
    std::uint32_t nextSequenceNumber_ = 1;
    std::deque<NotificationMessage> retransmission_;
    std::map<std::uint32_t, std::unique_ptr<MonitoredItem>> items_;
    std::uint32_t nextItemId_ = 1;
    // The item after which the next message starts, so that a bounded message does not
    // always favour the first items.
    std::uint32_t cursor_ = 0;
};

}  // namespace velk::ua
