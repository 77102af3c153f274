#pragma once
// The acquisition of every device of a document: starts and stops the devices' event-scan
// and diagnostic threads for the application's first and last client, stops a device before
// it is destroyed, and supervises the channels of every device (the channels report their
// exchange results here).
//
// Wiring: make this object first (the channels set takes it as its exchange observer), then
// the channels set, the channel exchange and the scan engine, then Attach them.
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "app/app_interfaces.h"
#include "modbus/comm_supervision.h"
#include "modbus/event_buffer_layout.h"
#include "modbus/exchange_observer.h"
#include "model/document_services.h"

namespace velk {

class CDoc;
class DeviceChannelsSet;
class DeviceThreads;
class IClock;
class IDeviceExchange;
class IEventPoster;
class ScanEngine;

struct DeviceAcquisitionSettings {
    EventStackSettings eventStack;  // the "EventStack" settings, read at start-up
};

class DeviceAcquisition final : public IDeviceAcquisition,
                                public IDeviceLifecycle,
                                public IExchangeObserver {
  public:
    // reloadCommFailCountdown restarts the application's communication watch (called after
    // every good exchange on an active channel).
    DeviceAcquisition(CDoc& document, IClock& clock, IEventPoster& poster,
                      DeviceAcquisitionSettings settings,
                      std::function<void()> reloadCommFailCountdown);
    // Stops every device.
    ~DeviceAcquisition() override;

    // The channels and the scan engine that the devices' threads use.
    void Attach(DeviceChannelsSet& channels, IDeviceExchange& exchange, ScanEngine& scan);

    // IDeviceAcquisition: every device of the document, in list order.
    void StartAllDevices() override;
    void StopAllDevices() override;
    // IDeviceLifecycle: stops the device and forgets its threads, supervision and channels.
    void StopDevice(ODevice& device) override;
    // IExchangeObserver: the supervision's CheckComm.
    void CheckComm(ODevice& device, bool failed, int channel) override;

    CommSupervision& Supervision() { return supervision_; }
    bool AcquisitionRuns() const { return runs_.load(); }
    // Whether the device's threads run.
    bool DeviceRuns(const ODevice& device);

  private:
    DeviceThreads& ThreadsOf(ODevice& device);

    CDoc& document_;
    IClock& clock_;
    IEventPoster& poster_;
    DeviceAcquisitionSettings settings_;
    CommSupervision supervision_;
    DeviceChannelsSet* channels_ = nullptr;
    IDeviceExchange* exchange_ = nullptr;
    ScanEngine* scan_ = nullptr;
    std::atomic<bool> runs_{false};
    std::mutex lock_;  // the map; held while threads start or stop
    std::map<const ODevice*, std::unique_ptr<DeviceThreads>> threads_;
};

}  // namespace velk
