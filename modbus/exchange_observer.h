#pragma once
// Where the channels report each exchange result: the device's channel supervision.
namespace velk {

class ODevice;

// The channel argument of the exchanges and of the supervision: the active channel carries
// the scan, event and write requests, the standby channel only the diagnostic probe.
inline constexpr int kActiveChannel = 1;
inline constexpr int kStandbyChannel = 0;

class IExchangeObserver {
  public:
    virtual ~IExchangeObserver() = default;
    // One exchange result of the device on its active (1) or standby (0) channel; called on
    // the exchanging thread after the channel's OK flag was set.
    virtual void CheckComm(ODevice& device, bool failed, int channel) = 0;
};

}  // namespace velk
