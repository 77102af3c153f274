#include "sparkplug/metric_sample.h"

#include "model/o_modbus_tag.h"

namespace velk::sparkplug {

std::vector<MetricSample> SampleDevice(const DeviceMetrics& device) {
    std::vector<MetricSample> samples;
    samples.reserve(device.metrics.size());
    for (const auto& metric : device.metrics) {
        const OModbusTag& tag = *metric.tag;
        samples.push_back({tag.value, tag.quality, tag.timestamp});
    }
    return samples;
}

}  // namespace velk::sparkplug
