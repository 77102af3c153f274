#include "app/sparkplug/plant_sampler.h"

#include <mutex>

#include "core/trace_file.h"
#include "modbus/active_channel.h"
#include "model/c_doc.h"
#include "model/o_device.h"
#include "model/o_modbus_tag.h"
#include "opc/opc_result.h"
#include "sparkplug/metric_sample.h"

namespace velk {
namespace {

bool SameMetric(const sparkplug::MetricDef& a, const sparkplug::MetricDef& b) {
    return a.name == b.name && a.alias == b.alias && a.type == b.type && a.tag == b.tag &&
           a.scaled == b.scaled && a.engLow == b.engLow && a.engHigh == b.engHigh &&
           a.engUnit == b.engUnit && a.writable == b.writable;
}

}  // namespace

PlantSampler::PlantSampler(ITagIO& tagIO, const CDoc& document)
    : tagIO_(tagIO), document_(document), locks_(document.Locks()) {}

void PlantSampler::Confirm() { destructions_ = document_.Destructions(); }

bool PlantSampler::Enter() {
    locks_.tree.lock();
    if (layout_ != nullptr && document_.Destructions() == destructions_) return true;
    locks_.tree.unlock();
    return false;
}

void PlantSampler::Leave() { locks_.tree.unlock(); }

void PlantSampler::SetLayout(const sparkplug::MetricLayout& layout) {
    Confirm();
    layout_ = &layout;
    tags_.assign(layout.Devices().size(), {});
    for (std::size_t i = 0; i < layout.Devices().size(); ++i) {
        // The layout's tags are the tree's; the scan engine's lists take them mutable.
        for (const auto& metric : layout.Devices()[i].metrics) {
            InsertSorted(const_cast<OModbusTag*>(metric.tag), tags_[i]);
        }
    }
}

std::vector<sparkplug::MetricSample> PlantSampler::Sample(const sparkplug::DeviceMetrics& device) {
    const auto index = static_cast<std::size_t>(&device - layout_->Devices().data());
    if (index < tags_.size() && !tags_[index].empty()) {
        tagIO_.ReadTagsInPeriod(*const_cast<ODevice*>(device.device), tags_[index], periodStart_);
    }
    std::lock_guard data(locks_.tagData);
    return sparkplug::SampleDevice(device);
}

bool PlantSampler::IsAnswering(const sparkplug::DeviceMetrics& device) {
    // The supervision's verdict on the channel the reads go over (the status bit that raises
    // the communication alarms, whether or not they are enabled for AE): a controller with one
    // channel has failed when that one has; a pair, when the one it switched to has as well.
    std::lock_guard data(locks_.tagData);
    const std::uint16_t activeBit =
        ActiveChannelOf(*device.device) == 0 ? kPrimaryChannelFailed : kSecondaryChannelFailed;
    return (device.device->statusBits & activeBit) == 0;
}

void PlantSampler::Write(const sparkplug::DeviceMetrics& device,
                         const std::vector<sparkplug::TagWrite>& writes) {
    for (const auto& write : writes) {
        auto* tag = const_cast<OModbusTag*>(write.metric->tag);
        const HRESULT result =
            tagIO_.WriteTag(*const_cast<ODevice*>(device.device), *tag, write.value);
        if (result < 0) {
            TraceResult("Sparkplug: DCMD write of " + device.deviceId + "/" + write.metric->name +
                            " failed",
                        result, true);
        }
    }
}

bool SameLayout(const sparkplug::MetricLayout& a, const sparkplug::MetricLayout& b) {
    const auto& da = a.Devices();
    const auto& db = b.Devices();
    if (da.size() != db.size()) return false;
    for (std::size_t i = 0; i < da.size(); ++i) {
        if (da[i].deviceId != db[i].deviceId || da[i].device != db[i].device ||
            da[i].metrics.size() != db[i].metrics.size()) {
            return false;
        }
        for (std::size_t m = 0; m < da[i].metrics.size(); ++m) {
            if (!SameMetric(da[i].metrics[m], db[i].metrics[m])) return false;
        }
    }
    return true;
}

}  // namespace velk
