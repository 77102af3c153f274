#include "sparkplug/historical_record.h"

#include <algorithm>

#include "sparkplug/metric_value.h"
#include "sparkplug/sparkplug_b.pb.h"

namespace velk::sparkplug {
namespace {

// The record: the device id's length (16 bits, little-endian), the id, then a payload of
// the metrics by name with their datatype, value, time stamp (file time) and OPC quality
// as the property "opcQuality".
constexpr std::size_t kIdLengthBytes = 2;
constexpr const char* kOpcQualityKey = "opcQuality";

std::uint16_t OpcQuality(const pb::Payload::Metric& metric) {
    const auto& set = metric.properties();
    for (int i = 0; i < set.keys_size() && i < set.values_size(); ++i) {
        if (set.keys(i) == kOpcQualityKey)
            return static_cast<std::uint16_t>(set.values(i).int_value());
    }
    return 0;  // bad
}

}  // namespace

std::string MakeHistoricalRecord(const DeviceMetrics& device,
                                 const std::vector<std::size_t>& indexes,
                                 const std::vector<MetricSample>& samples) {
    pb::Payload payload;
    for (const std::size_t i : indexes) {
        if (i >= device.metrics.size() || i >= samples.size()) continue;
        const MetricDef& def = device.metrics[i];
        auto* metric = payload.add_metrics();
        metric->set_name(def.name);
        metric->set_datatype(static_cast<std::uint32_t>(def.type));
        metric->set_timestamp(samples[i].timestamp);
        auto* properties = metric->mutable_properties();
        properties->add_keys(kOpcQualityKey);
        auto* quality = properties->add_values();
        quality->set_type(static_cast<std::uint32_t>(MetricType::kUInt16));
        quality->set_int_value(samples[i].quality);
        SetMetricValue(def.type, samples[i].value, *metric);
    }
    const std::size_t idLength = std::min<std::size_t>(device.deviceId.size(), 0xFFFF);
    std::string record;
    record.push_back(static_cast<char>(idLength & 0xFF));
    record.push_back(static_cast<char>(idLength >> 8));
    record.append(device.deviceId, 0, idLength);
    payload.AppendToString(&record);
    return record;
}

std::optional<HistoricalData> ReplayHistoricalRecord(EdgeNodePayloads& node,
                                                     const MetricLayout& layout,
                                                     std::string_view record, FileTime now) {
    if (record.size() < kIdLengthBytes) return std::nullopt;
    const std::size_t idLength =
        static_cast<unsigned char>(record[0]) |
        (static_cast<std::size_t>(static_cast<unsigned char>(record[1])) << 8);
    if (record.size() - kIdLengthBytes < idLength) return std::nullopt;
    const std::string_view deviceId = record.substr(kIdLengthBytes, idLength);
    const DeviceMetrics* device = layout.FindDevice(deviceId);
    if (device == nullptr) return std::nullopt;
    const std::string_view body = record.substr(kIdLengthBytes + idLength);
    pb::Payload payload;
    if (!payload.ParseFromArray(body.data(), static_cast<int>(body.size()))) return std::nullopt;

    std::vector<MetricSample> samples(device->metrics.size());
    std::vector<std::size_t> indexes;
    for (const auto& metric : payload.metrics()) {
        const MetricDef* def = device->FindByName(metric.name());
        if (def == nullptr || metric.datatype() != static_cast<std::uint32_t>(def->type)) continue;
        const std::size_t i = static_cast<std::size_t>(def - device->metrics.data());
        MetricSample& sample = samples[i];
        sample.value = MetricValue(def->type, metric).value_or(Variant());
        sample.quality = OpcQuality(metric);
        sample.timestamp = metric.timestamp();
        indexes.push_back(i);
    }
    if (indexes.empty()) return std::nullopt;
    return HistoricalData{device->deviceId, node.DData(*device, indexes, samples, now, true)};
}

}  // namespace velk::sparkplug
