#include "sparkplug/edge_node_payloads.h"

#include "sparkplug/metric_value.h"
#include "sparkplug/sparkplug_b.pb.h"

namespace velk::sparkplug {
namespace {

void AddProperty(pb::Payload::PropertySet& set, const char* key, std::int32_t value) {
    set.add_keys(key);
    auto* property = set.add_values();
    property->set_type(static_cast<std::uint32_t>(MetricType::kInt32));
    property->set_int_value(static_cast<std::uint32_t>(value));
}

void AddProperty(pb::Payload::PropertySet& set, const char* key, double value) {
    set.add_keys(key);
    auto* property = set.add_values();
    property->set_type(static_cast<std::uint32_t>(MetricType::kDouble));
    property->set_double_value(value);
}

void AddProperty(pb::Payload::PropertySet& set, const char* key, const std::string& value) {
    set.add_keys(key);
    auto* property = set.add_values();
    property->set_type(static_cast<std::uint32_t>(MetricType::kString));
    property->set_string_value(value);
}

pb::Payload::Metric* AddNodeMetric(pb::Payload& payload, std::string_view name, std::uint64_t alias,
                                   MetricType type, std::uint64_t time) {
    auto* metric = payload.add_metrics();
    metric->set_name(std::string(name));
    metric->set_alias(alias);
    metric->set_datatype(static_cast<std::uint32_t>(type));
    metric->set_timestamp(time);
    return metric;
}

std::string Serialized(const pb::Payload& payload) {
    std::string bytes;
    payload.SerializeToString(&bytes);
    return bytes;
}

}  // namespace

std::string EdgeNodePayloads::NBirth(FileTime now) {
    seq_ = 0;
    const std::uint64_t time = ToSparkplugTime(now);
    pb::Payload payload;
    payload.set_timestamp(time);
    payload.set_seq(TakeSeq());
    AddNodeMetric(payload, kBdSeqName, kBdSeqAlias, MetricType::kUInt64, time)
        ->set_long_value(bdSeq_);
    AddNodeMetric(payload, kRebirthName, kRebirthAlias, MetricType::kBoolean, time)
        ->set_boolean_value(false);
    return Serialized(payload);
}

std::string EdgeNodePayloads::NDeath(FileTime now) const {
    const std::uint64_t time = ToSparkplugTime(now);
    pb::Payload payload;
    payload.set_timestamp(time);
    auto* metric = payload.add_metrics();
    metric->set_name(std::string(kBdSeqName));
    metric->set_datatype(static_cast<std::uint32_t>(MetricType::kUInt64));
    metric->set_timestamp(time);
    metric->set_long_value(bdSeq_);
    return Serialized(payload);
}

std::string EdgeNodePayloads::DBirth(const DeviceMetrics& device,
                                     const std::vector<MetricSample>& samples, FileTime now) {
    pb::Payload payload;
    payload.set_timestamp(ToSparkplugTime(now));
    payload.set_seq(TakeSeq());
    for (std::size_t i = 0; i < device.metrics.size() && i < samples.size(); ++i) {
        const MetricDef& def = device.metrics[i];
        auto* metric = payload.add_metrics();
        metric->set_name(def.name);
        metric->set_alias(def.alias);
        metric->set_datatype(static_cast<std::uint32_t>(def.type));
        metric->set_timestamp(ToSparkplugTime(samples[i].timestamp));
        SetMetricValue(def.type, samples[i].value, *metric);
        auto* properties = metric->mutable_properties();
        AddProperty(*properties, "Quality", SparkplugQuality(samples[i].quality));
        if (def.scaled) {
            AddProperty(*properties, "engUnit", def.engUnit);
            AddProperty(*properties, "engLow", def.engLow);
            AddProperty(*properties, "engHigh", def.engHigh);
        }
    }
    return Serialized(payload);
}

std::string EdgeNodePayloads::DData(const DeviceMetrics& device,
                                    const std::vector<std::size_t>& indexes,
                                    const std::vector<MetricSample>& samples, FileTime now,
                                    bool historical) {
    pb::Payload payload;
    payload.set_timestamp(ToSparkplugTime(now));
    payload.set_seq(TakeSeq());
    for (const std::size_t i : indexes) {
        if (i >= device.metrics.size() || i >= samples.size()) continue;
        const MetricDef& def = device.metrics[i];
        auto* metric = payload.add_metrics();
        metric->set_alias(def.alias);
        // The datatype as well: consumers that decode a metric by its datatype (the Eclipse
        // reference decoder among them) read no value from a data metric without one.
        metric->set_datatype(static_cast<std::uint32_t>(def.type));
        metric->set_timestamp(ToSparkplugTime(samples[i].timestamp));
        if (historical) metric->set_is_historical(true);
        SetMetricValue(def.type, samples[i].value, *metric);
        const std::int32_t quality = SparkplugQuality(samples[i].quality);
        if (quality != kSparkplugQualityGood) {
            AddProperty(*metric->mutable_properties(), "Quality", quality);
        }
    }
    return Serialized(payload);
}

std::string EdgeNodePayloads::DDeath(FileTime now) {
    pb::Payload payload;
    payload.set_timestamp(ToSparkplugTime(now));
    payload.set_seq(TakeSeq());
    return Serialized(payload);
}

}  // namespace velk::sparkplug
