#include "modbus/comm_supervision.h"

#include <string>

#include "core/trace_file.h"
#include "modbus/active_channel.h"
#include "modbus/device_channels.h"
#include "model/b_event.h"
#include "model/o_device.h"

namespace velk {
namespace {

const char* ChannelName(std::int32_t activeChannel) {
    return activeChannel == 0 ? "Primary ch." : "Secondary ch.";
}

std::int32_t Retries(const ODevice& device) { return device.params.supervisorRetries; }

}  // namespace

CommSupervision::CommSupervision(IClock& clock, IEventPoster& poster,
                                 std::function<void()> reloadCommFailCountdown)
    : clock_(clock),
      poster_(poster),
      reloadCommFailCountdown_(std::move(reloadCommFailCountdown)) {}

CommSupervision::State& CommSupervision::StateOf(ODevice& device) {
    std::lock_guard lock(mapLock_);
    auto& slot = states_[&device];
    if (!slot) {
        slot = std::make_unique<State>();
        slot->retriesActive = Retries(device);
        slot->retriesStandby = Retries(device);
        // The settling time runs from the device's creation; a device whose creation is
        // unknown starts it now.
        slot->lastChannelChange = device.creationTime != 0 ? device.creationTime : clock_.NowUtc();
    }
    return *slot;
}

void CommSupervision::Register(ODevice& device) { StateOf(device); }

void CommSupervision::Forget(const ODevice& device) {
    std::lock_guard lock(mapLock_);
    states_.erase(&device);
}

void CommSupervision::ResetRetries(ODevice& device) {
    State& state = StateOf(device);
    std::lock_guard lock(state.stateLock);
    state.retriesActive = Retries(device);
    state.retriesStandby = Retries(device);
}

void CommSupervision::ResetStandbyRetries(ODevice& device) {
    State& state = StateOf(device);
    std::lock_guard lock(state.stateLock);
    state.retriesStandby = Retries(device);
}

std::int32_t CommSupervision::RetriesLeft(ODevice& device, int channel) {
    State& state = StateOf(device);
    std::lock_guard lock(state.stateLock);
    return channel == kActiveChannel ? state.retriesActive : state.retriesStandby;
}

bool CommSupervision::WithinMs(FileTime since, std::uint32_t ms) const {
    const FileTime now = clock_.NowUtc();
    // A clock set back counts as within: the next results are evaluated again once the
    // time has passed the stored moment.
    return now < since || now - since < FileTime{ms} * kFileTimeTicksPerMs;
}

void CommSupervision::EvaluateCommAlarms(ODevice& device) {
    device.statusTime = clock_.NowUtc();
    for (std::uint16_t code : {kAlarmPort1, kAlarmPort2, kAlarmCommunication})
        device.AlarmOfCode(code)->EvaluateComm(device, code, poster_);
}

void CommSupervision::CheckComm(ODevice& device, bool failed, int channel) {
    State& state = StateOf(device);
    DeviceChannels* channels = channelsOf_ ? channelsOf_(device) : nullptr;
    const bool standbyOk = channels != nullptr && channels->StandbyOk();
    bool switchChannel = false;
    bool reload = false;
    {
        // The status bits, the status time and the alarms' condition states are the tag data
        // that the AE server reads and acknowledges under the same lock.
        std::lock_guard data(device.Locks().tagData);
        std::lock_guard lock(state.stateLock);
        if (WithinMs(state.lastChannelChange, kSettleMs)) return;
        const bool onPrimary = ActiveChannelOf(device) == 0;
        // The physical channel of the result: the active channel on the primary, or the
        // standby channel while the secondary is active, is the primary.
        const bool primary = (channel == kActiveChannel) == onPrimary;
        const std::uint16_t bit = primary ? kPrimaryChannelFailed : kSecondaryChannelFailed;
        std::int32_t& retriesLeft =
            channel == kActiveChannel ? state.retriesActive : state.retriesStandby;
        if (failed) {
            Trace("ODevice::CheckComm: Dev=" + device.name + "; " +
                  (channel == kActiveChannel ? "Active ch. - Failure;" : "Diagn. ch. - Failure;"));
            if (retriesLeft > 0) --retriesLeft;
            if (state.retriesActive > 0 && state.retriesStandby > 0) return;
            device.statusBits |= bit;
            EvaluateCommAlarms(device);
            switchChannel = channel == kActiveChannel && onPrimary && standbyOk;
        } else {
            retriesLeft = Retries(device);
            reload = channel == kActiveChannel;
            const std::uint16_t before = device.statusBits;
            device.statusBits = static_cast<std::uint16_t>(device.statusBits & ~bit);
            if (device.statusBits != before) EvaluateCommAlarms(device);
            switchChannel = channel == kStandbyChannel && !onPrimary && standbyOk;
        }
    }
    if (reload && reloadCommFailCountdown_) reloadCommFailCountdown_();
    if (switchChannel) ChangePort(device);
}

bool CommSupervision::ChangePort(ODevice& device) {
    State& state = StateOf(device);
    DeviceChannels* channels = channelsOf_ ? channelsOf_(device) : nullptr;
    // The exchange lock first: an exchange in flight on the active connection ends before
    // the connections change hands; the standby probe gives up its connection between its
    // requests and notices the switch.
    std::unique_lock<std::recursive_mutex> exchange;
    if (channels != nullptr) exchange = std::unique_lock(channels->ExchangeLock());
    std::lock_guard switchLock(state.switchLock);

    Trace(std::string("ODevice::ChangePort: try to change channel from ") +
          ChannelName(ActiveChannelOf(device)));
    {
        std::lock_guard lock(state.stateLock);
        if (WithinMs(state.lastChannelChange, kSwitchSpacingMs)) return false;
        state.lastChannelChange = clock_.NowUtc();
    }
    // The channels switch the active channel together with the connections, so that no
    // exchange or probe sees one without the other.
    if (channels != nullptr) {
        channels->SwitchChannel();
    } else {
        SetActiveChannel(device, ActiveChannelOf(device) == 0 ? 1 : 0);
    }
    if (switchPausePoint_) switchPausePoint_(device);
    {
        std::lock_guard lock(state.stateLock);
        state.retriesActive = Retries(device);
        state.retriesStandby = Retries(device);
    }
    Trace("ODevice::ChangePort: Dev=" + device.name + " the port was changed to " +
          ChannelName(ActiveChannelOf(device)) + "!");
    return true;
}

}  // namespace velk
