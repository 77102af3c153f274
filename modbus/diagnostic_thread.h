#pragma once
// The diagnostic thread of a device: probes the standby channel with a diagnostic request
// every supervisor period (the TCP standby probe, or one serial exchange on the standby
// port); the result reaches the supervision through the channels.
#include <atomic>
#include <functional>

namespace velk {

class DeviceChannels;
class IClock;
class MessageQueue;
class ODevice;

class DiagnosticThread {
  public:
    // wake is the queue of the thread that runs the body (a message on it ends the wait
    // between two probes); runFlag keeps the loop going (set by the starter, cleared by the
    // stop and by the end of the event scan); resetStandbyRetries reloads the standby
    // retries at the start.
    DiagnosticThread(ODevice& device, DeviceChannels& channels, IClock& clock, MessageQueue& wake,
                     const std::atomic<bool>& runFlag, std::function<bool()> acquisitionRuns,
                     std::function<void()> resetStandbyRetries);

    // The thread body.
    void Run();
    // One probe of the standby channel (nothing in simulation).
    void Probe();

  private:
    bool Runs() const;
    void WaitPeriod(std::uint32_t elapsedMs);

    ODevice& device_;
    DeviceChannels& channels_;
    IClock& clock_;
    MessageQueue& wake_;
    const std::atomic<bool>& runFlag_;
    std::function<bool()> acquisitionRuns_;
    std::function<void()> resetStandbyRetries_;
};

}  // namespace velk
