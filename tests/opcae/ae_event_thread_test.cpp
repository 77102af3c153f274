#include "opcae/ae_event_thread.h"

#include <gtest/gtest.h>

namespace velk {
namespace {

BEvent* DeviceRecord() {
    auto* event = new BEvent;
    event->device = reinterpret_cast<ODevice*>(0x1);  // a source; never dereferenced
    return event;
}

class CountingDistributor final : public IAeEventDistributor {
  public:
    bool HasClients() const override { return clients; }
    void DistributeToAeServers(const BEvent&) override { ++delivered; }
    bool clients = false;
    int delivered = 0;
};

TEST(AeEventThread, RecordsWithoutClientsAreDiscardedAndEveryRecordIsDestroyed) {
    MessageQueue queue;
    CountingDistributor distributor;
    for (int i = 0; i < 1000; ++i) {
        queue.Post(WM_AE_EVENT, 0, std::unique_ptr<BEvent>(DeviceRecord()));
    }
    queue.Post(WM_USER + 7);  // other messages are passed over
    queue.PostQuit();
    queue.Post(WM_AE_EVENT, 0, std::unique_ptr<BEvent>(DeviceRecord()));  // after quit: dropped
    EXPECT_EQ(RunAeEventThread(queue, distributor), 0);
    EXPECT_EQ(distributor.delivered, 0);

    distributor.clients = true;
    queue.Post(WM_AE_EVENT, 0, std::unique_ptr<BEvent>(DeviceRecord()));
    queue.Post(WM_AE_EVENT, 0, nullptr);
    queue.PostQuit();
    RunAeEventThread(queue, distributor);
    // The record left behind the first quit is delivered now, with the new one.
    EXPECT_EQ(distributor.delivered, 2);
}

}  // namespace
}  // namespace velk
