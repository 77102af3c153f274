#pragma once
// One tag's value record as the publisher takes it for a message.
#include <cstdint>
#include <vector>

#include "model/variant.h"
#include "platform/clock.h"
#include "sparkplug/metric_layout.h"

namespace velk::sparkplug {

struct MetricSample {
    Variant value;
    std::uint16_t quality = 0;  // OPC quality
    FileTime timestamp = 0;
};

// The value records of a device's metrics, in metric order. The caller holds TagDataLock.
std::vector<MetricSample> SampleDevice(const DeviceMetrics& device);

}  // namespace velk::sparkplug
