#pragma once
// The two acquisition threads of one device, the event scan and the diagnostic thread:
// started by the first client, stopped by the last one or before the device is destroyed.
// The object owns both threads and stops them at the latest in its destructor.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "modbus/device_threads_wake.h"
#include "modbus/event_scan_thread.h"

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
    bool HasDiagnosticThread() const { return diagnostic_.joinable(); }
    // True when the device's primary and secondary channels are the same.
    static bool ChannelsAreSame(const ODevice& device);

  private:
    void RunEventScan();
    void RunDiagnostic();
    // Waits up to the stop wait for the thread's end and joins it; reports it when it runs on.
    void JoinWithin(std::thread& thread, DeviceThreadsWake& ended, const char* name);
    // Joins a thread left running by the last stop if it has ended since; false when it runs.
    bool JoinEnded(std::thread& thread, DeviceThreadsWake& ended, const char* name);

    ODevice& device_;
    DeviceChannels& channels_;
    CommSupervision& supervision_;
    EventScanServices scanServices_;
    std::mutex startStopLock_;  // orders starts and stops; the threads never take it
    std::atomic<bool> running_{false};
    std::atomic<bool> diagnosticRuns_{false};
    DeviceThreadsWake eventScanWake_;
    DeviceThreadsWake diagnosticWake_;
    // Signalled by each thread as its last step.
    DeviceThreadsWake eventScanEnded_;
    DeviceThreadsWake diagnosticEnded_;
    std::uint32_t stopWaitMs_ = kStopWaitMs;
    std::thread eventScan_;
    std::thread diagnostic_;
};

}  // namespace velk
