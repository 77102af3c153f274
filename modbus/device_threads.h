#pragma once
// The two acquisition threads of one device, the event scan and the diagnostic thread:
// started by the first client, stopped by the last one or before the device is destroyed.
// The object owns both threads (platform worker threads, made anew for each start) and
// joins them at the latest in its destructor. A stop only asks: it wakes each thread from
// its wait between two cycles and never waits for one that is in an exchange, which ends at
// its own time-out; such a thread is joined later, at a start or at the destruction.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

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
    // Stops the threads and waits for their end, however long their last exchange takes.
    ~DeviceThreads();
    DeviceThreads(const DeviceThreads&) = delete;
    DeviceThreads& operator=(const DeviceThreads&) = delete;

    // Starts both threads unless they run; the device starts on its primary channel. A
    // device whose two channels are the same gets no diagnostic thread. A thread that cannot
    // be created is reported in the trace. Threads of an earlier run that are still in their
    // last exchange are left to end beside the new ones; the start never waits for them.
    void StartThreads();
    // Asks both threads to end and returns at once: nothing here waits for an exchange.
    void StopThreads();

    bool Running() const { return running_.load(); }
    // Waits until the deadline for every thread of this and earlier runs to have ended; true
    // when none runs any more.
    bool WaitEnded(std::chrono::steady_clock::time_point deadline);
    // True when the device's primary and secondary channels are the same.
    static bool ChannelsAreSame(const ODevice& device);

  private:
    // One start's threads with the flags they run on; a later start makes a new one, so
    // that a thread of a stopped run never takes the flags of its successor for its own.
    struct Run {
        std::atomic<bool> running{true};
        std::atomic<bool> diagnosticRuns{false};
        std::atomic<bool> superseded{false};  // a newer run started
        // Both made before either starts, so that the event scan may wake the diagnostic.
        WorkerThread eventScan{"EventScan"};
        WorkerThread diagnostic{"Diagnostic"};
    };
    void RunEventScan(Run& run, MessageQueue& wake);
    void RunDiagnostic(Run& run, MessageQueue& wake);
    // Joins the threads of earlier runs that have ended.
    void JoinEndedRuns();

    ODevice& device_;
    DeviceChannels& channels_;
    CommSupervision& supervision_;
    EventScanServices scanServices_;
    std::mutex startStopLock_;  // orders starts and stops; the threads never take it
    std::atomic<bool> running_{false};
    std::unique_ptr<Run> run_;
    std::vector<std::unique_ptr<Run>> ended_;  // stopped runs whose threads may still run
};

}  // namespace velk
