#include "modbus/device_acquisition.h"

#include "modbus/device_channels.h"
#include "modbus/device_channels_set.h"
#include "modbus/device_threads.h"
#include "modbus/scan_engine.h"
#include "model/c_doc.h"
#include "model/locks.h"
#include "model/o_device.h"

namespace velk {

DeviceAcquisition::DeviceAcquisition(CDoc& document, IClock& clock, IEventPoster& poster,
                                     DeviceAcquisitionSettings settings,
                                     std::function<void()> reloadCommFailCountdown)
    : document_(document),
      clock_(clock),
      poster_(poster),
      settings_(settings),
      supervision_(
          [this](ODevice& device) -> DeviceChannels* {
              return channels_ != nullptr ? &channels_->ChannelsOf(device) : nullptr;
          },
          clock, poster, std::move(reloadCommFailCountdown)) {}

DeviceAcquisition::~DeviceAcquisition() {
    runs_ = false;
    std::lock_guard lock(lock_);
    for (auto& [device, threads] : threads_) threads->StopThreads();
    threads_.clear();
}

void DeviceAcquisition::Attach(DeviceChannelsSet& channels, IDeviceExchange& exchange,
                               ScanEngine& scan) {
    channels_ = &channels;
    exchange_ = &exchange;
    scan_ = &scan;
}

DeviceThreads& DeviceAcquisition::ThreadsOf(ODevice& device) {
    auto& slot = threads_[&device];
    if (!slot) {
        DeviceChannels& channels = channels_->ChannelsOf(device);
        EventScanServices services{
            *exchange_,
            clock_,
            poster_,
            [this](ODevice& d, const TagList& tags) { scan_->ReadTags(d, tags); },
            [this] { return runs_.load(); },
            [&channels] { return channels.ActiveOk() || channels.StandbyOk(); },
            settings_.eventStack};
        slot = std::make_unique<DeviceThreads>(device, channels, supervision_, services);
    }
    return *slot;
}

void DeviceAcquisition::StartAllDevices() {
    if (channels_ == nullptr || exchange_ == nullptr || scan_ == nullptr) return;
    std::vector<ODevice*> devices;
    {
        std::lock_guard tree(TreeLock());
        devices = document_.Devices();
    }
    runs_ = true;
    std::lock_guard lock(lock_);
    for (ODevice* device : devices) {
        supervision_.Register(*device);
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
    if (threads) threads->StopThreads();
    supervision_.Forget(device);
    if (channels_ != nullptr) channels_->Forget(device);
}

void DeviceAcquisition::CheckComm(ODevice& device, bool failed, int channel) {
    supervision_.CheckComm(device, failed, channel);
}

bool DeviceAcquisition::DeviceRuns(const ODevice& device) {
    std::lock_guard lock(lock_);
    auto it = threads_.find(&device);
    return it != threads_.end() && it->second->Running();
}

}  // namespace velk
