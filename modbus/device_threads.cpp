#include "modbus/device_threads.h"

#include <chrono>
#include <string>

#include "core/trace_file.h"
#include "modbus/active_channel.h"
#include "modbus/comm_supervision.h"
#include "modbus/device_channels.h"
#include "modbus/diagnostic_thread.h"
#include "model/o_device.h"
#include "platform/worker_thread.h"

namespace velk {

DeviceThreads::DeviceThreads(ODevice& device, DeviceChannels& channels,
                             CommSupervision& supervision, EventScanServices scanServices)
    : device_(device),
      channels_(channels),
      supervision_(supervision),
      scanServices_(std::move(scanServices)) {}

DeviceThreads::~DeviceThreads() {
    StopThreads();
    // The threads use this object and the device: a thread still running must end first.
    if (eventScan_) eventScan_->Join();
    if (diagnostic_) diagnostic_->Join();
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
    // A thread that outlived the last stop must have ended before its successor starts.
    if (!JoinEnded(eventScan_.get(), "EventScanThread") ||
        !JoinEnded(diagnostic_.get(), "DiagnosticThread"))
        return;
    {
        std::lock_guard exchange(channels_.ExchangeLock());
        if (running_) return;
        // The device starts on its primary channel; its first exchanges go there.
        SetActiveChannel(device_, 0);
        channels_.ClearOkFlags();
        supervision_.ResetRetries(device_);
        running_ = true;
        channels_.SetRunning(true);
        // Fresh threads and queues: no wake of an earlier stop is left over.
        eventScan_ = std::make_unique<WorkerThread>("EventScan");
        diagnostic_ = std::make_unique<WorkerThread>("Diagnostic");
    }
    // One step above normal where the system allows it (raising needs a privilege on Linux).
    if (!eventScan_->Start(
            [this](MessageQueue& wake) {
                RunEventScan(wake);
                return 0;
            },
            ThreadPriority::AboveNormal)) {
        Trace("ODevice::EventScanThread: Dev=" + device_.name + " could not be started");
    }
    if (ChannelsAreSame(device_)) {
        Trace("ODevice::DiagnosticThread: Dev=" + device_.name +
              " will not be started (the primary and the secondary channels are the same!)");
        return;
    }
    // Set here rather than in the thread, so that a stop that comes before the thread runs
    // is not undone by it.
    diagnosticRuns_ = true;
    if (!diagnostic_->Start(
            [this](MessageQueue& wake) {
                RunDiagnostic(wake);
                return 0;
            },
            ThreadPriority::AboveNormal)) {
        diagnosticRuns_ = false;
        Trace("ODevice::DiagnosticThread: Dev=" + device_.name + " could not be started");
    }
}

void DeviceThreads::StopThreads() {
    std::lock_guard startStop(startStopLock_);
    {
        std::lock_guard exchange(channels_.ExchangeLock());
        if (!running_) return;
        running_ = false;
        diagnosticRuns_ = false;
        channels_.SetRunning(false);
        if (device_.params.modbusTcp != 0) {
            channels_.CloseActive();
            channels_.CloseStandby();
        }
        if (eventScan_) eventScan_->Wake();
        if (diagnostic_) diagnostic_->Wake();
    }
    // Joined without the exchange lock: a thread may be about to take it for its last
    // exchange, which fails at once now that the device no longer runs.
    JoinWithin(eventScan_.get(), "EventScanThread");
    JoinWithin(diagnostic_.get(), "DiagnosticThread");
}

void DeviceThreads::JoinWithin(WorkerThread* thread, const char* name) {
    if (thread == nullptr || !thread->IsStarted()) return;
    if (thread->WaitFinished(std::chrono::milliseconds(stopWaitMs_))) {
        thread->Join();
        return;
    }
    Trace("ODevice::StopThreads: Dev=" + device_.name + " " + name + " still running after " +
          std::to_string(stopWaitMs_) + " ms");
}

bool DeviceThreads::JoinEnded(WorkerThread* thread, const char* name) {
    if (thread == nullptr || !thread->IsStarted()) return true;
    if (thread->WaitFinished(std::chrono::milliseconds(0))) {
        thread->Join();
        return true;
    }
    Trace("ODevice::StartThreads: Dev=" + device_.name + " " + name +
          " of the last run is still running; the threads are not started");
    return false;
}

void DeviceThreads::RunEventScan(MessageQueue& wake) {
    EventScanThread scan(device_, scanServices_, running_, wake, [this] {
        // The diagnostic thread ends with its next cycle.
        diagnosticRuns_ = false;
        diagnostic_->Wake();
        if (device_.params.modbusTcp != 0) channels_.RemoveRoute(channels_.ActiveIndex());
    });
    scan.Run();
}

void DeviceThreads::RunDiagnostic(MessageQueue& wake) {
    DiagnosticThread diagnostic(device_, channels_, scanServices_.clock, wake, diagnosticRuns_,
                                scanServices_.acquisitionRuns,
                                [this] { supervision_.ResetStandbyRetries(device_); });
    diagnostic.Run();
}

}  // namespace velk
