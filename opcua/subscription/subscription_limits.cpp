#include "opcua/subscription/subscription_limits.h"

namespace velk::ua {

std::uint32_t SubscriptionServerState::NextSubscriptionId() {
    std::uint32_t id = nextSubscriptionId_.fetch_add(1);
    // 0 is no subscription.
    while (id == 0) id = nextSubscriptionId_.fetch_add(1);
    return id;
}

bool SubscriptionServerState::TakeMonitoredItem() {
    std::uint32_t count = monitoredItems_.load();
    while (count < limits_.maxMonitoredItems) {
        if (monitoredItems_.compare_exchange_weak(count, count + 1)) return true;
    }
    return false;
}

void SubscriptionServerState::GiveMonitoredItems(std::uint32_t count) {
    monitoredItems_.fetch_sub(count);
}

}  // namespace velk::ua
