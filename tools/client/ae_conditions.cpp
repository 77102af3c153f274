#include "tools/client/ae_conditions.h"

#include <chrono>

namespace velk::client {

namespace {
constexpr std::uint32_t kBufferTime = 100;
// How long after the last refresh call the queued device conditions may take to arrive: a
// few delivery periods of the subscription.
constexpr std::chrono::milliseconds kDeviceConditionWait{4 * kBufferTime};
}  // namespace

bool CollectConditions(AeServer& server, const std::function<void(const AeEvent&)>& onCondition) {
    BusSession& session = server.Session();
    AeSubscriptionCreated created = server.CreateEventSubscription(true, kBufferTime, 1024, 1);
    bool ended = false;
    AeEventSink sink(session, [&](const AeEventCall& call) {
        for (const AeEvent& e : call.events) {
            // Ordinary events other than device activations are changes, not conditions.
            if (call.refresh || ((e.newState & 0x02) && e.category == 1 && e.changeMask != 0x02))
                onCondition(e);
        }
        if (call.lastRefresh) {
            ended = true;
            session.Stop();
        }
    });
    const std::uint32_t cookie = created.subscription->Advise(kEventSinkInterface, sink.Path());
    created.subscription->Refresh(cookie);
    if (session.Run(std::chrono::seconds(30)) != 0 || !ended) return false;
    if (session.Run(kDeviceConditionWait) != 0) return false;
    created.subscription->Unadvise(kEventSinkInterface, cookie);
    created.subscription->Release();
    return true;
}

}  // namespace velk::client
