#pragma once
// Who runs the work of a group beside the client's call: the asynchronous request workers
// and the device reads of the update cycle. A host (or a test) that drives workers itself
// supplies its own launcher.
#include <functional>

namespace velk {

class ODevice;

class IWorkerLauncher {
  public:
    virtual ~IWorkerLauncher() = default;
    // Runs the work once, later, on some thread; false when it cannot be started.
    virtual bool Launch(std::function<void()> work) = 0;
};

// Device work in the order it was queued, one device's work never waiting for another's.
class IDeviceWork {
  public:
    virtual ~IDeviceWork() = default;
    // Runs the work once, later, after the device's earlier work; false when it cannot be
    // queued.
    virtual bool LaunchOn(const ODevice& device, std::function<void()> work) = 0;
};

}  // namespace velk
