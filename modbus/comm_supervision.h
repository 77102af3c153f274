#pragma once
// The supervision of every device's two channels: counts the failed exchanges of the active
// and the standby channel against the device's retries, keeps the channel status bits and
// their time, evaluates the communication alarms of codes 1 to 3, restarts the application's
// communication watch and switches the device between its primary and secondary channel.
//
// Locking: the status bits, the status time and the communication alarms' condition states
// are changed under TagDataLock, as the AE server reads and acknowledges them; the retries
// and the time of the last switch under a state lock of the device's own (innermost, never
// held while another lock is taken). Exchange results come in without the exchange lock
// held. A channel switch takes the device's exchange lock, then its switch lock, so that no
// exchange is in flight on either connection while the connections and the active channel
// change.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "modbus/exchange_observer.h"
#include "platform/clock.h"

namespace velk {

class DeviceChannels;
class IEventPoster;
class ODevice;

class CommSupervision final : public IExchangeObserver {
  public:
    // The channels of a device; null when it has none (no switch is then made).
    using ChannelsOf = std::function<DeviceChannels*(ODevice&)>;

    // Exchange results are ignored this long after the device is first seen and after a switch.
    static constexpr std::uint32_t kSettleMs = 5000;
    // Two switches are at least this far apart.
    static constexpr std::uint32_t kSwitchSpacingMs = 10000;

    // reloadCommFailCountdown is called after every good exchange on an active channel.
    CommSupervision(IClock& clock, IEventPoster& poster,
                    std::function<void()> reloadCommFailCountdown);

    // Where the supervision finds a device's channels (whose set reports to it, so it is
    // made after this object); before, and without it, no switch is made. Set before the
    // first exchange.
    void AttachChannels(ChannelsOf channelsOf) { channelsOf_ = std::move(channelsOf); }

    // One exchange result on the active (1) or standby (0) channel.
    void CheckComm(ODevice& device, bool failed, int channel) override;
    // Switches the device to its other channel; false when the last switch (or the device's
    // first sighting) is less than 10 s ago.
    bool ChangePort(ODevice& device);

    // Both retries-left counters = the device's retries (the device's threads start).
    void ResetRetries(ODevice& device);
    void ResetStandbyRetries(ODevice& device);
    // Starts the device's time of the last channel change at its creation (now when that is
    // unknown); also made on first use.
    void Register(ODevice& device);
    // Drops the state of a device that is being destroyed.
    void Forget(const ODevice& device);

    // For the monitor and tests.
    std::int32_t RetriesLeft(ODevice& device, int channel);

    // A pause point for tests: called on the switching thread right after a device's
    // channels changed over (exchange and switch locks still held, the standby connection
    // free), so that a test can start a probe at the very end of a switch. Set before use.
    void SetSwitchPausePoint(std::function<void(ODevice&)> pause) {
        switchPausePoint_ = std::move(pause);
    }

  private:
    struct State {
        std::mutex stateLock;
        std::mutex switchLock;
        std::int32_t retriesActive = 0;
        std::int32_t retriesStandby = 0;
        FileTime lastChannelChange = 0;
    };
    State& StateOf(ODevice& device);
    bool WithinMs(FileTime since, std::uint32_t ms) const;
    void EvaluateCommAlarms(ODevice& device);

    ChannelsOf channelsOf_;
    IClock& clock_;
    IEventPoster& poster_;
    std::function<void()> reloadCommFailCountdown_;
    std::function<void(ODevice&)> switchPausePoint_;
    std::mutex mapLock_;
    std::map<const ODevice*, std::unique_ptr<State>> states_;
};

}  // namespace velk
