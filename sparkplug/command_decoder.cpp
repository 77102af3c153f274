#include "sparkplug/command_decoder.h"

#include "sparkplug/metric_value.h"
#include "sparkplug/sparkplug_b.pb.h"

namespace velk::sparkplug {
namespace {

CommandCheck Refused(CommandRefusal refusal, std::string detail) {
    return {refusal, std::move(detail)};
}

CommandCheck Parse(std::string_view bytes, pb::Payload& payload) {
    if (bytes.size() > kMaxCommandBytes) {
        return Refused(CommandRefusal::kOversized, std::to_string(bytes.size()) + " bytes");
    }
    if (!payload.ParseFromArray(bytes.data(), static_cast<int>(bytes.size()))) {
        return Refused(CommandRefusal::kMalformed, "no Sparkplug B payload");
    }
    if (payload.metrics_size() == 0) return Refused(CommandRefusal::kNoMetrics, "no metrics");
    return {};
}

std::string Label(const pb::Payload::Metric& metric) {
    if (metric.has_name()) return "metric \"" + metric.name() + "\"";
    if (metric.has_alias()) return "alias " + std::to_string(metric.alias());
    return "a metric without name or alias";
}

// The value of a command's metric of the given definition.
CommandCheck CheckValue(const pb::Payload::Metric& metric, MetricType type, Variant& value) {
    if (metric.has_datatype() && metric.datatype() != static_cast<std::uint32_t>(type)) {
        return Refused(CommandRefusal::kWrongDatatype,
                       Label(metric) + ": datatype " + std::to_string(metric.datatype()) +
                           ", not " + std::to_string(static_cast<std::uint32_t>(type)));
    }
    std::optional<Variant> decoded = MetricValue(type, metric);
    if (!decoded) return Refused(CommandRefusal::kWrongValue, Label(metric) + ": no valid value");
    value = std::move(*decoded);
    return {};
}

}  // namespace

CommandCheck DecodeNodeCommand(std::string_view bytes, NodeCommand& command) {
    command = NodeCommand{};
    pb::Payload payload;
    if (CommandCheck check = Parse(bytes, payload); !check.Accepted()) return check;
    NodeCommand decoded;
    for (const auto& metric : payload.metrics()) {
        const bool byName = metric.has_name();
        const bool known = byName ? metric.name() == kRebirthName
                                  : metric.has_alias() && metric.alias() == kRebirthAlias;
        if (!known || (byName && metric.has_alias() && metric.alias() != kRebirthAlias)) {
            return Refused(CommandRefusal::kUnknownMetric, Label(metric));
        }
        Variant value;
        if (CommandCheck check = CheckValue(metric, MetricType::kBoolean, value);
            !check.Accepted()) {
            return check;
        }
        decoded.rebirth = decoded.rebirth || value.AsBool();
    }
    command = decoded;
    return {};
}

CommandCheck DecodeDeviceCommand(const DeviceMetrics& device, std::string_view bytes,
                                 std::vector<TagWrite>& writes) {
    writes.clear();
    pb::Payload payload;
    if (CommandCheck check = Parse(bytes, payload); !check.Accepted()) return check;
    std::vector<TagWrite> decoded;
    decoded.reserve(static_cast<std::size_t>(payload.metrics_size()));
    for (const auto& metric : payload.metrics()) {
        const MetricDef* byName = metric.has_name() ? device.FindByName(metric.name()) : nullptr;
        const MetricDef* byAlias =
            metric.has_alias() ? device.FindByAlias(metric.alias()) : nullptr;
        const MetricDef* def = metric.has_name() ? byName : byAlias;
        if (def == nullptr || (metric.has_name() && metric.has_alias() && byAlias != byName)) {
            return Refused(CommandRefusal::kUnknownMetric, Label(metric));
        }
        TagWrite write{def, {}};
        if (CommandCheck check = CheckValue(metric, def->type, write.value); !check.Accepted()) {
            return check;
        }
        if (!def->writable) {
            return Refused(CommandRefusal::kNotWritable, "metric \"" + def->name + "\"");
        }
        decoded.push_back(std::move(write));
    }
    writes = std::move(decoded);
    return {};
}

}  // namespace velk::sparkplug
