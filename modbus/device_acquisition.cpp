#include "modbus/device_acquisition.h"

#include <vector>

#include "modbus/comm_supervision.h"
#include "modbus/device_channels.h"
#include "modbus/device_channels_set.h"
#include "modbus/device_threads.h"
#include "modbus/scan_engine.h"
#include "model/c_doc.h"
#include "model/o_device.h"

namespace velk {

DeviceAcquisition::DeviceAcquisition(std::function<CDoc*()> document, DeviceAcquisitionParts parts)
    : document_(std::move(document)),
      parts_(parts),
      exchange_([this](ODevice& device) { return &parts_.channels.ChannelsOf(device); }) {}

DeviceAcquisition::~DeviceAcquisition() {
    runs_ = false;
    std::lock_guard lock(lock_);
    for (auto& [device, threads] : threads_) threads->StopThreads();
    threads_.clear();
}

DeviceThreads& DeviceAcquisition::ThreadsOf(ODevice& device) {
    auto& slot = threads_[&device];
    if (!slot) {
        DeviceChannels& channels = parts_.channels.ChannelsOf(device);
        EventScanServices services{
            exchange_,
            parts_.clock,
            parts_.poster,
            [this](ODevice& d, const TagList& tags) { parts_.scan.ReadTags(d, tags); },
            [this] { return runs_.load(); },
            [&channels] { return channels.ActiveOk() || channels.StandbyOk(); },
            parts_.eventStack ? parts_.eventStack() : EventBufferSettings{}};
        slot = std::make_unique<DeviceThreads>(device, channels, parts_.supervision, services);
    }
    return *slot;
}

void DeviceAcquisition::StartAllDevices() {
    CDoc* document = document_();
    if (document == nullptr) return;
    std::vector<ODevice*> devices;
    {
        std::lock_guard tree(document->Locks().tree);
        devices = document->Devices();
    }
    runs_ = true;
    std::lock_guard lock(lock_);
    for (ODevice* device : devices) {
        parts_.supervision.Register(*device);
        ThreadsOf(*device).StartThreads();
    }
}

void DeviceAcquisition::StopAllDevices() {
    runs_ = false;
    std::lock_guard lock(lock_);
    for (auto& [device, threads] : threads_) threads->StopThreads();
}

void DeviceAcquisition::StopDevice(ODevice& device) {
    std::unique_ptr<DeviceThreads> threads;
    {
        std::lock_guard lock(lock_);
        auto it = threads_.find(&device);
        if (it != threads_.end()) {
            threads = std::move(it->second);
            threads_.erase(it);
        }
    }
    // The threads object goes before the channels it uses: its destruction waits for a
    // thread that outlived the stop.
    if (threads) threads->StopThreads();
    threads.reset();
    parts_.supervision.Forget(device);
    parts_.channels.Forget(device);
}

bool DeviceAcquisition::WaitIdle(std::chrono::steady_clock::time_point deadline) {
    {
        std::lock_guard lock(lock_);
        for (auto& [device, threads] : threads_) {
            if (!threads->WaitEnded(deadline)) return false;
        }
    }
    return parts_.channels.Activity().WaitIdle(deadline);
}

bool DeviceAcquisition::DeviceRuns(const ODevice& device) {
    std::lock_guard lock(lock_);
    auto it = threads_.find(&device);
    return it != threads_.end() && it->second->Running();
}

}  // namespace velk
