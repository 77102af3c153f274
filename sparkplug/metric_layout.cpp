#include "sparkplug/metric_layout.h"

#include <set>

#include "model/o_analog_data.h"
#include "model/o_device.h"
#include "model/o_modbus_tag.h"
#include "model/o_tag_group.h"
#include "sparkplug/sparkplug_topics.h"

namespace velk::sparkplug {
namespace {

const OAnalogData* ConvertingScaling(const OModbusTag& tag) {
    if (!tag.scaling || tag.scaling->conversion == 0) return nullptr;
    if (tag.dataType == VT_BOOL || tag.dataType == VT_BSTR) return nullptr;
    return dynamic_cast<const OAnalogData*>(tag.scaling.get());
}

// The tag's groups below the device and its name, joined by "/".
std::string MetricName(const OModbusTag& tag) {
    std::string name = tag.name;
    for (const OTagGroup* group = tag.group; group && !group->IsDevice(); group = group->parent) {
        name = group->name + "/" + name;
    }
    return name;
}

}  // namespace

MetricType MetricTypeOf(const OModbusTag& tag) {
    if (ConvertingScaling(tag)) return MetricType::kDouble;
    switch (tag.dataType) {
        case VT_BOOL:
            return MetricType::kBoolean;
        case VT_I2:
            return MetricType::kInt16;
        case VT_UI2:
            return MetricType::kUInt16;
        case VT_I4:
            return MetricType::kInt32;
        case VT_UI4:
            return MetricType::kUInt32;
        case VT_I8:
            return MetricType::kInt64;
        case VT_UI8:
            return MetricType::kUInt64;
        case VT_R4:
            return MetricType::kFloat;
        case VT_R8:
            return MetricType::kDouble;
        default:
            return MetricType::kString;
    }
}

std::int32_t SparkplugQuality(std::uint16_t opcQuality) {
    switch (opcQuality & 0xC0) {
        case 0xC0:
            return kSparkplugQualityGood;
        case 0x40:
            return kSparkplugQualityStale;
        default:
            return kSparkplugQualityBad;
    }
}

std::uint64_t ToSparkplugTime(FileTime time) {
    const std::uint64_t epoch = kUnixEpochInFileTimeSeconds * kFileTimeTicksPerSecond;
    return time < epoch ? 0 : (time - epoch) / kFileTimeTicksPerMs;
}

const MetricDef* DeviceMetrics::FindByName(std::string_view name) const {
    for (const auto& metric : metrics) {
        if (metric.name == name) return &metric;
    }
    return nullptr;
}

const MetricDef* DeviceMetrics::FindByAlias(std::uint64_t alias) const {
    // Aliases ascend in list order.
    if (metrics.empty() || alias < metrics.front().alias || alias > metrics.back().alias) {
        return nullptr;
    }
    return &metrics[alias - metrics.front().alias];
}

const DeviceMetrics* MetricLayout::FindDevice(std::string_view deviceId) const {
    for (const auto& device : devices_) {
        if (device.deviceId == deviceId) return &device;
    }
    return nullptr;
}

MetricLayout MetricLayout::Build(const OTagGroup& root) {
    MetricLayout layout;
    std::uint64_t alias = kFirstDeviceAlias;
    for (const auto& group : root.subgroupList) {
        const ODevice* device = group->GetDevice();
        if (device == nullptr) continue;
        if (!IsValidTopicId(device->name)) {
            layout.skipped_.push_back("device \"" + device->name +
                                      "\": its name cannot be a topic level");
            continue;
        }
        DeviceMetrics entry;
        entry.deviceId = device->name;
        entry.device = device;
        std::set<std::string> names;
        device->ForEachTag([&](const OModbusTag* tag) {
            MetricDef metric;
            metric.name = MetricName(*tag);
            if (!names.insert(metric.name).second) {
                layout.skipped_.push_back("tag \"" + device->name + "/" + metric.name +
                                          "\": a second metric of the name");
                return;
            }
            metric.alias = alias++;
            metric.type = MetricTypeOf(*tag);
            metric.tag = tag;
            if (const OAnalogData* scaling = ConvertingScaling(*tag)) {
                metric.scaled = true;
                metric.engLow = scaling->engineeringMinimum;
                metric.engHigh = scaling->engineeringMaximum;
                metric.engUnit = scaling->units;
            }
            metric.writable = (tag->accessRights & kAccessWritable) != 0;
            entry.metrics.push_back(std::move(metric));
        });
        layout.devices_.push_back(std::move(entry));
    }
    return layout;
}

}  // namespace velk::sparkplug
