#pragma once
// AeEventThread: takes the alarm records posted as WM_AE_EVENT and hands each to every AE
// server object, only while clients are attached; every record is destroyed afterwards,
// delivered or not.
#include <memory>

#include "model/b_event.h"
#include "platform/message_queue.h"
#include "platform/worker_thread.h"

namespace velk {

// An alarm record (the payload) for the AeEventThread.
inline constexpr std::uint32_t WM_AE_EVENT = WM_USER + 53;

class IAeEventDistributor {
  public:
    virtual ~IAeEventDistributor() = default;
    virtual bool HasClients() const = 0;
    // Hands the record to every AE server object in list order under ServerListLock.
    virtual void DistributeToAeServers(const BEvent& event) = 0;
};

// The thread's procedure: pumps until the quit message.
int RunAeEventThread(MessageQueue& queue, IAeEventDistributor& distributor);

// Posts records to the AeEventThread's queue; never waits. A record posted after the thread
// has ended is destroyed at once.
class AeEventPoster final : public IEventPoster {
  public:
    explicit AeEventPoster(WorkerThread& thread) : thread_(thread) {}
    void PostEvent(std::unique_ptr<BEvent> event) override {
        thread_.Post(WM_AE_EVENT, 0, std::move(event));
    }

  private:
    WorkerThread& thread_;
};

}  // namespace velk
