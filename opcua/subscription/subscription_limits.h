#pragma once
// The bounds of the subscription machinery, and the server-wide state that all sessions'
// subscriptions share: subscription ids and the count of monitored items. Every queue a
// client fills is bounded here, so a client that stops sending Publish requests costs at
// most these bounds until its subscriptions expire by their lifetime.
#include <atomic>
#include <cstdint>

namespace velk::ua {

struct SubscriptionLimits {
    double minPublishingIntervalMs = 50;
    double maxPublishingIntervalMs = 3'600'000;
    std::uint32_t defaultKeepAliveCount = 10;
    std::uint32_t maxKeepAliveCount = 10'000;
    // A subscription without Publish requests lives at most this long (lifetime count x
    // publishing interval), and never less than three keep-alive periods.
    double maxLifetimeMs = 3'600'000;
    // Also when the client asks for no limit (0): it bounds one message's size.
    std::uint32_t maxNotificationsPerPublish = 10'000;
    // Unacknowledged messages kept for Republish, per subscription; the oldest go first.
    std::uint32_t maxRetransmissionMessages = 10;
    std::uint32_t maxPublishRequestsPerSession = 20;
    std::uint32_t maxSubscriptionsPerSession = 100;
    std::uint32_t maxQueueSize = 1000;
    // Items per CreateMonitoredItems and per other service call.
    std::uint32_t maxMonitoredItemsPerCall = 10'000;
    std::uint32_t maxMonitoredItems = 500'000;
};

// Shared by every session of the server; the counters are atomic as sessions run on the
// connections' threads.
class SubscriptionServerState {
  public:
    explicit SubscriptionServerState(SubscriptionLimits limits = {}) : limits_(limits) {}

    const SubscriptionLimits& Limits() const { return limits_; }
    std::uint32_t NextSubscriptionId();
    // Takes one monitored item of the server's total; false when all are taken.
    bool TakeMonitoredItem();
    void GiveMonitoredItems(std::uint32_t count);
    std::uint32_t MonitoredItemCount() const { return monitoredItems_.load(); }

  private:
    SubscriptionLimits limits_;
    std::atomic<std::uint32_t> nextSubscriptionId_{1};
    std::atomic<std::uint32_t> monitoredItems_{0};
};

}  // namespace velk::ua
