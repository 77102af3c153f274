#pragma once
// The counts of the "OPC Server Statistics" window: DA server objects with their groups and
// AE server objects with their subscriptions, taken under ServerListLock.
#include <cstddef>
#include <mutex>

#include "opc/server_object_lists.h"

namespace velk {

struct ServerObjectCounts {
    std::size_t daConnections = 0;
    std::size_t daGroups = 0;
    std::size_t aeConnections = 0;
    std::size_t aeSubscriptions = 0;
};

inline ServerObjectCounts CountServerObjects(ServerObjectLists& lists) {
    std::lock_guard lock(lists.Lock());
    ServerObjectCounts counts;
    counts.daConnections = lists.DA().size();
    for (const IDAServerObject* server : lists.DA()) counts.daGroups += server->GroupCount();
    counts.aeConnections = lists.AE().size();
    for (const IAEServerObject* server : lists.AE()) {
        counts.aeSubscriptions += server->SubscriptionCount();
    }
    return counts;
}

}  // namespace velk
