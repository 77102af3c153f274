#pragma once
// What the application object starts and stops of the device acquisition.
namespace velk {

// Starting and stopping every device's acquisition threads, in device-list order.
// Both are idempotent per device.
class IDeviceAcquisition {
  public:
    virtual ~IDeviceAcquisition() = default;
    virtual void StartAllDevices() = 0;
    virtual void StopAllDevices() = 0;
};

}  // namespace velk
