#pragma once
// The threads that serve the DA groups beside their clients' calls: a bounded pool for the
// asynchronous requests of every client, and one reader per device for the devices' reads
// of the update cycles, so that a controller that does not answer delays only its own
// reads. Shared by the groups (which keep it alive); its owner stops it.
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>

#include "opcda/worker_launcher.h"
#include "platform/task_pool.h"

namespace velk {

class DaWorkers final : public IWorkerLauncher, public IDeviceWork {
  public:
    static constexpr std::size_t kDefaultRequestThreads = 4;

    explicit DaWorkers(std::size_t requestThreads = kDefaultRequestThreads);
    ~DaWorkers() override;
    DaWorkers(const DaWorkers&) = delete;
    DaWorkers& operator=(const DaWorkers&) = delete;

    // An asynchronous request's worker.
    bool Launch(std::function<void()> work) override;
    // A device read; the device's reader is started on its first read.
    bool LaunchOn(const ODevice& device, std::function<void()> work) override;

    // Refuses further work and waits a bounded time for the threads (work still queued is
    // dropped unrun).
    void Stop();
    // Threads started so far: the request pool and the device readers.
    std::size_t ThreadCount() const;

  private:
    TaskPool requests_;
    mutable std::mutex lock_;
    std::map<const ODevice*, std::unique_ptr<TaskPool>> readers_;
    bool stopped_ = false;
};

}  // namespace velk
