#pragma once
// The two acquisition threads of one device, the event scan and the diagnostic thread:
// started by the first client, stopped by the last one or before the device is destroyed.
// The object owns both threads and stops them at the latest in its destructor.
#include <atomic>
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
    // Stops both threads and waits for their end; a thread inside an exchange ends when the
    // exchange has.
    void StopThreads();

    bool Running() const { return running_.load(); }
    bool HasDiagnosticThread() const { return diagnostic_.joinable(); }
    // True when the device's primary and secondary channels are the same.
    static bool ChannelsAreSame(const ODevice& device);

  private:
    void RunEventScan();
    void RunDiagnostic();

    ODevice& device_;
    DeviceChannels& channels_;
    CommSupervision& supervision_;
    EventScanServices scanServices_;
    std::mutex startStopLock_;  // orders starts and stops; the threads never take it
    std::atomic<bool> running_{false};
    std::atomic<bool> diagnosticRuns_{false};
    DeviceThreadsWake eventScanWake_;
    DeviceThreadsWake diagnosticWake_;
    std::thread eventScan_;
    std::thread diagnostic_;
};

}  // namespace velk
