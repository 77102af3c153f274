#include "opc/device_workers.h"

#include <chrono>

namespace velk {

DeviceWorkers::DeviceWorkers(std::size_t requestThreads, std::unique_ptr<TimedPassPool> updates)
    : requests_("DA requests", requestThreads),
      updates_(updates ? std::move(updates)
                       : std::make_unique<TimedPassPool>("DA update", kUpdateThreads,
                                                         ThreadPriority::Highest)) {}

DeviceWorkers::~DeviceWorkers() { Stop(); }

bool DeviceWorkers::Launch(std::function<void()> work) { return requests_.Post(std::move(work)); }

bool DeviceWorkers::LaunchOn(const ODevice& device, std::function<void()> work) {
    std::lock_guard lock(lock_);
    if (stopped_) return false;
    auto& reader = readers_[&device];
    // The update cycles poll at the highest priority so that their rates hold under load.
    if (!reader) reader = std::make_unique<TaskPool>("DA device read", 1, ThreadPriority::Highest);
    // A reader without its thread tries again at each read (TaskPool::Post).
    return reader->Post(std::move(work));
}

void DeviceWorkers::Stop() {
    std::map<const ODevice*, std::unique_ptr<TaskPool>> readers;
    {
        std::lock_guard lock(lock_);
        if (stopped_) return;
        stopped_ = true;
        readers.swap(readers_);
    }
    // One wait for all of them: a reader in a read of a silent controller ends with that
    // read's own time-out.
    requests_.BeginStop();
    for (auto& [device, reader] : readers) reader->BeginStop();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(5000);
    updates_->Stop(std::chrono::milliseconds(2000));
    requests_.WaitStopped(deadline);
    for (auto& [device, reader] : readers) reader->WaitStopped(deadline);
}

std::size_t DeviceWorkers::ThreadCount() const {
    std::lock_guard lock(lock_);
    std::size_t count = requests_.ThreadCount() + updates_->ThreadCount();
    for (const auto& [device, reader] : readers_) count += reader->ThreadCount();
    return count;
}

}  // namespace velk
