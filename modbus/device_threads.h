#pragma once
// The two acquisition threads of one device, the event scan and the diagnostic thread:
// started by the first client, stopped by the last one or before the device is destroyed.
// The object owns both threads (platform worker threads, made anew for each start) and
// stops them at the latest in its destructor; a stop wakes each from its wait between two
// cycles through the thread's queue.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "modbus/event_scan_thread.h"
#include "platform/worker_thread.h"

namespace velk {

class CommSupervision;
class DeviceChannels;
class ODevice;

class DeviceThreads {
  public:
    DeviceThreads(ODevice& device, DeviceChannels& channels, CommSupervision& supervision,
                  EventScanServices scanServices);
    ~DeviceThreads();
    DeviceThreads(const DeviceThreads&) = delete;
    DeviceThreads& operator=(const DeviceThreads&) = delete;

    // Starts both threads unless they run; the device starts on its primary channel. A
    // device whose two channels are the same gets no diagnostic thread. A thread that cannot
    // be created is reported in the trace.
    void StartThreads();
    // Stops both threads and waits up to the stop wait (5000 ms) for the end of each. A thread
    // still running then (inside a long exchange) is reported in the trace and joined at the
    // next start or when this object is destroyed, never waited for here.
    void StopThreads();
    static constexpr std::uint32_t kStopWaitMs = 5000;
    // For tests: a shorter stop wait.
    void SetStopWaitMs(std::uint32_t milliseconds) { stopWaitMs_ = milliseconds; }

    bool Running() const { return running_.load(); }
    bool HasDiagnosticThread() const { return diagnostic_ && diagnostic_->IsStarted(); }
    // True when the device's primary and secondary channels are the same.
    static bool ChannelsAreSame(const ODevice& device);

  private:
    void RunEventScan(MessageQueue& wake);
    void RunDiagnostic(MessageQueue& wake);
    // Waits up to the stop wait for the thread's end and joins it; reports it when it runs on.
    void JoinWithin(WorkerThread* thread, const char* name);
    // Joins a thread left running by the last stop if it has ended since; false when it runs.
    bool JoinEnded(WorkerThread* thread, const char* name);

    ODevice& device_;
    DeviceChannels& channels_;
    CommSupervision& supervision_;
    EventScanServices scanServices_;
    std::mutex startStopLock_;  // orders starts and stops; the threads never take it
    std::atomic<bool> running_{false};
    std::atomic<bool> diagnosticRuns_{false};
    std::uint32_t stopWaitMs_ = kStopWaitMs;
    // Both made before either starts, so that the event scan may wake the diagnostic thread.
    std::unique_ptr<WorkerThread> eventScan_;
    std::unique_ptr<WorkerThread> diagnostic_;
};

}  // namespace velk
