#include "modbus/device_threads.h"

#include <string>

#include "core/trace_file.h"
#include "modbus/active_channel.h"
#include "modbus/comm_supervision.h"
#include "modbus/device_channels.h"
#include "modbus/diagnostic_thread.h"
#include "model/o_device.h"

namespace velk {
namespace {

// Starts the thread one step above normal where the system allows it (raising needs a
// privilege on Linux); false when no thread could be made.
bool StartAboveNormal(WorkerThread& thread, WorkerThread::Procedure body) {
    return thread.Start(std::move(body), ThreadPriority::AboveNormal);
}

}  // namespace

DeviceThreads::DeviceThreads(ODevice& device, DeviceChannels& channels,
                             CommSupervision& supervision, EventScanServices scanServices)
    : device_(device),
      channels_(channels),
      supervision_(supervision),
      scanServices_(std::move(scanServices)) {}

DeviceThreads::~DeviceThreads() {
    StopThreads();
    // The threads use this object and the device: every one must have ended first.
    std::lock_guard startStop(startStopLock_);
    for (auto& run : ended_) {
        if (run->eventScan.IsStarted()) run->eventScan.Join();
        if (run->diagnostic.IsStarted()) run->diagnostic.Join();
    }
}

bool DeviceThreads::ChannelsAreSame(const ODevice& device) {
    const auto& p = device.params;
    if (p.modbusTcp != 0) return p.primaryIpAddress == p.secondaryIpAddress;
    if (p.primaryPort != nullptr || p.secondaryPort != nullptr)
        return p.primaryPort == p.secondaryPort;
    return p.primaryPortName == p.secondaryPortName;
}

void DeviceThreads::StartThreads() {
    std::lock_guard startStop(startStopLock_);
    if (running_) return;
    JoinEndedRuns();
    for (auto& earlier : ended_) earlier->superseded = true;
    // The device starts on its primary channel. An exchange of the last run that is still
    // on the wire reports nothing and leaves the connections to be closed before the next
    // exchange, so the channel state is reset without waiting for it.
    SetActiveChannel(device_, 0);
    channels_.ClearOkFlags();
    supervision_.ResetRetries(device_);
    run_ = std::make_unique<Run>();
    Run& run = *run_;
    running_ = true;
    channels_.SetRunning(true);

    if (!StartAboveNormal(run.eventScan, [this, &run](MessageQueue& wake) {
            RunEventScan(run, wake);
            return 0;
        })) {
        Trace("ODevice::EventScanThread: Dev=" + device_.name + " could not be started");
    }
    if (ChannelsAreSame(device_)) {
        Trace("ODevice::DiagnosticThread: Dev=" + device_.name +
              " will not be started (the primary and the secondary channels are the same!)");
        return;
    }
    // Set here rather than in the thread, so that a stop that comes before the thread runs
    // is not undone by it.
    run.diagnosticRuns = true;
    if (!StartAboveNormal(run.diagnostic, [this, &run](MessageQueue& wake) {
            RunDiagnostic(run, wake);
            return 0;
        })) {
        run.diagnosticRuns = false;
        Trace("ODevice::DiagnosticThread: Dev=" + device_.name + " could not be started");
    }
}

void DeviceThreads::StopThreads() {
    std::lock_guard startStop(startStopLock_);
    if (!running_ || !run_) return;
    running_ = false;
    run_->running = false;
    run_->diagnosticRuns = false;
    // The exchange in progress, if any, ends at its own time-out; the connections are
    // closed now or as soon as it has ended.
    channels_.RequestStop();
    run_->eventScan.Wake();
    run_->diagnostic.Wake();
    ended_.push_back(std::move(run_));
    JoinEndedRuns();
}

bool DeviceThreads::WaitEnded(std::chrono::steady_clock::time_point deadline) {
    std::lock_guard startStop(startStopLock_);
    for (auto& run : ended_) {
        for (WorkerThread* thread : {&run->eventScan, &run->diagnostic}) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (thread->IsStarted() &&
                !thread->WaitFinished(std::max(left, std::chrono::milliseconds(0))))
                return false;
        }
    }
    JoinEndedRuns();
    return !running_;
}

void DeviceThreads::JoinEndedRuns() {
    std::erase_if(ended_, [](const std::unique_ptr<Run>& run) {
        for (WorkerThread* thread : {&run->eventScan, &run->diagnostic}) {
            if (thread->IsStarted() && !thread->Finished()) return false;
        }
        for (WorkerThread* thread : {&run->eventScan, &run->diagnostic}) {
            if (thread->IsStarted()) thread->Join();
        }
        return true;
    });
}

void DeviceThreads::RunEventScan(Run& run, MessageQueue& wake) {
    EventScanThread scan(device_, scanServices_, run.running, wake, [this, &run] {
        // The diagnostic thread ends with its next cycle.
        run.diagnosticRuns = false;
        run.diagnostic.Wake();
        // The connection the stop left to this thread's last exchange closes now; the
        // route of a run that another start has replaced belongs to that run.
        channels_.FinishStop();
        if (device_.params.modbusTcp != 0 && !run.superseded)
            channels_.RemoveRoute(channels_.ActiveIndex());
    });
    scan.Run();
}

void DeviceThreads::RunDiagnostic(Run& run, MessageQueue& wake) {
    DiagnosticThread diagnostic(device_, channels_, scanServices_.clock, wake, run.diagnosticRuns,
                                scanServices_.acquisitionRuns,
                                [this] { supervision_.ResetStandbyRetries(device_); });
    diagnostic.Run();
    channels_.FinishStop();
}

}  // namespace velk
