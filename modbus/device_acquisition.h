#pragma once
// The acquisition of every device of a document: starts and stops the devices' event-scan
// and diagnostic threads for the application's first and last client, and stops a device
// before it is destroyed.
//
// AcquisitionStack makes it together with the objects it uses, in the order they need.
#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "modbus/device_acquisition_control.h"
#include "modbus/device_channel_exchange.h"
#include "modbus/event_buffer_layout.h"
#include "model/document_services.h"

namespace velk {

class CDoc;
class CommSupervision;
class DeviceChannelsSet;
class DeviceThreads;
class IClock;
class IEventPoster;
class ScanEngine;

struct DeviceAcquisitionParts {
    DeviceChannelsSet& channels;
    ScanEngine& scan;  // reads the alarm lists
    CommSupervision& supervision;
    IClock& clock;
    IEventPoster& poster;
    // The placement of "General" buffers (from the "EventStack" settings), asked when a
    // device's threads are first made; defaults when empty.
    std::function<EventBufferSettings()> eventStack;
};

class DeviceAcquisition final : public IDeviceAcquisition, public IDeviceLifecycle {
  public:
    // document gives the document whose devices run (null before it exists).
    DeviceAcquisition(std::function<CDoc*()> document, DeviceAcquisitionParts parts);
    DeviceAcquisition(CDoc& document, DeviceAcquisitionParts parts)
        : DeviceAcquisition([&document] { return &document; }, parts) {}
    // Stops every device.
    ~DeviceAcquisition() override;
    DeviceAcquisition(const DeviceAcquisition&) = delete;
    DeviceAcquisition& operator=(const DeviceAcquisition&) = delete;

    // IDeviceAcquisition: every device of the document, in list order.
    void StartAllDevices() override;
    void StopAllDevices() override;
    // IDeviceLifecycle: stops the device and forgets its threads, supervision and channels.
    void StopDevice(ODevice& device) override;

    bool AcquisitionRuns() const { return runs_.load(); }
    // Waits until the deadline for every device thread to have ended and for every exchange
    // to be off the wire (after the last client, at the end of the process); false when one
    // is still in progress then.
    bool WaitIdle(std::chrono::steady_clock::time_point deadline);
    // Whether the device's threads run.
    bool DeviceRuns(const ODevice& device);

  private:
    DeviceThreads& ThreadsOf(ODevice& device);

    std::function<CDoc*()> document_;
    DeviceAcquisitionParts parts_;
    DeviceChannelExchange exchange_;  // the event scan's requests on the active channel
    std::atomic<bool> runs_{false};
    std::mutex lock_;  // the map; held while threads start or stop
    std::map<const ODevice*, std::unique_ptr<DeviceThreads>> threads_;
};

}  // namespace velk
