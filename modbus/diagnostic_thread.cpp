#include "modbus/diagnostic_thread.h"

#include "core/trace_file.h"
#include "modbus/device_channels.h"
#include "modbus/message_framing.h"
#include "modbus/modbus_requests.h"
#include "model/o_device.h"
#include "model/o_port.h"
#include "platform/worker_thread.h"

namespace velk {

DiagnosticThread::DiagnosticThread(ODevice& device, DeviceChannels& channels, IClock& clock,
                                   MessageQueue& wake, const std::atomic<bool>& runFlag,
                                   std::function<bool()> acquisitionRuns,
                                   std::function<void()> resetStandbyRetries)
    : device_(device),
      channels_(channels),
      clock_(clock),
      wake_(wake),
      runFlag_(runFlag),
      acquisitionRuns_(std::move(acquisitionRuns)),
      resetStandbyRetries_(std::move(resetStandbyRetries)) {}

bool DiagnosticThread::Runs() const {
    return runFlag_.load() && (!acquisitionRuns_ || acquisitionRuns_());
}

void DiagnosticThread::WaitPeriod(std::uint32_t elapsedMs) {
    const std::uint32_t period = device_.params.EffectiveSupervisorTime();
    if (elapsedMs > period) elapsedMs = 0;
    if (Runs()) WaitForWake(wake_, std::chrono::milliseconds(period - elapsedMs));
}

void DiagnosticThread::Run() {
    const bool tcp = device_.params.modbusTcp != 0;
    Trace("ODevice::DiagnosticThread: Dev=" + device_.name + " started");
    clock_.Sleep(tcp ? 250 : 100);
    if (resetStandbyRetries_) resetStandbyRetries_();
    while (Runs()) {
        const std::uint32_t t0 = clock_.TickCount();
        Probe();
        const std::uint32_t now = clock_.TickCount();
        WaitPeriod(now >= t0 ? now - t0 : 0);
    }
    if (tcp) channels_.RemoveRoute(1 - channels_.ActiveIndex());
    Trace("ODevice::DiagnosticThread: Dev=" + device_.name + " finished");
}

void DiagnosticThread::Probe() {
    if (device_.simulationEnabled != 0) return;
    if (device_.params.modbusTcp != 0) {
        channels_.ProbeStandbyTcp([this] { WaitPeriod(0); });
        return;
    }
    const OPort* port =
        channels_.ActiveIndex() == 0 ? device_.params.secondaryPort : device_.params.primaryPort;
    const MessageFraming framing = ChooseFraming(false, port != nullptr ? port->dataBits : 8);
    auto request = BuildDiagnosticRequest(framing, device_.params.slaveAddress);
    channels_.TransactSerial(request.get(), device_.params.timeout, kStandbyChannel);
}

}  // namespace velk
