#pragma once
// The threads that serve the plant's readers beside their clients' calls: a bounded pool for
// the asynchronous requests of every DA client, a bounded pool for the update cycles on the
// grid (every DA group's, the UA monitored items' sampling), and one reader per device for
// the devices' reads, so that a controller that does not answer delays only its own reads.
// However many groups and monitored items the clients make, the threads stay these. Shared by
// its users (which keep it alive); its owner stops it.
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>

#include "opc/worker_launcher.h"
#include "platform/task_pool.h"
#include "platform/timed_pass_pool.h"

namespace velk {

class DeviceWorkers final : public IWorkerLauncher, public IDeviceWork {
  public:
    static constexpr std::size_t kDefaultRequestThreads = 4;
    // An update pass never waits for a device (its reads run on the readers) nor for a
    // client (its sink calls are queued), so a few threads run the cycles of any number of
    // groups.
    static constexpr std::size_t kUpdateThreads = 4;

    // updates: the pool of the update cycles; null: one of kUpdateThreads threads at the
    // highest priority, so that the poll rates hold under load.
    explicit DeviceWorkers(std::size_t requestThreads = kDefaultRequestThreads,
                           std::unique_ptr<TimedPassPool> updates = nullptr);
    ~DeviceWorkers() override;
    DeviceWorkers(const DeviceWorkers&) = delete;
    DeviceWorkers& operator=(const DeviceWorkers&) = delete;

    // An asynchronous request's worker.
    bool Launch(std::function<void()> work) override;
    // A device read; the device's reader is started on its first read (again at a later
    // read when the system refused its thread).
    bool LaunchOn(const ODevice& device, std::function<void()> work) override;
    // Where the groups' update cycles run.
    TimedPassPool& Updates() { return *updates_; }

    // Refuses further work and waits a bounded time for the threads (work still queued is
    // dropped unrun).
    void Stop();
    // Threads started so far: the request and update pools and the device readers.
    std::size_t ThreadCount() const;

  private:
    TaskPool requests_;
    std::unique_ptr<TimedPassPool> updates_;
    mutable std::mutex lock_;
    std::map<const ODevice*, std::unique_ptr<TaskPool>> readers_;
    bool stopped_ = false;
};

}  // namespace velk
