#include "sparkplug/metric_value.h"

#include "sparkplug/sparkplug_b.pb.h"

namespace velk::sparkplug {

VarType VarTypeOfMetric(MetricType type) {
    switch (type) {
        case MetricType::kBoolean:
            return VT_BOOL;
        case MetricType::kInt16:
            return VT_I2;
        case MetricType::kUInt16:
            return VT_UI2;
        case MetricType::kInt32:
            return VT_I4;
        case MetricType::kUInt32:
            return VT_UI4;
        case MetricType::kFloat:
            return VT_R4;
        case MetricType::kDouble:
            return VT_R8;
        case MetricType::kString:
            return VT_BSTR;
        case MetricType::kInt64:
            return VT_I8;
        case MetricType::kUInt64:
            return VT_UI8;
    }
    return VT_EMPTY;
}

void SetMetricValue(MetricType type, const Variant& value, pb::Payload::Metric& metric) {
    Variant typed = value;
    const VarType target = VarTypeOfMetric(type);
    if (typed.IsEmpty() || target == VT_EMPTY || Failed(typed.ChangeType(target))) {
        metric.set_is_null(true);
        return;
    }
    switch (target) {
        case VT_BOOL:
            metric.set_boolean_value(typed.AsBool());
            break;
        // Signed integers travel as their 32-bit two's complement.
        case VT_I2:
            metric.set_int_value(static_cast<std::uint32_t>(std::int32_t{typed.AsInt16()}));
            break;
        case VT_UI2:
            metric.set_int_value(typed.AsUInt16());
            break;
        case VT_I4:
            metric.set_int_value(static_cast<std::uint32_t>(typed.AsInt32()));
            break;
        case VT_UI4:
            metric.set_int_value(typed.AsUInt32());
            break;
        // A signed 64-bit value travels as its two's complement.
        case VT_I8:
            metric.set_long_value(static_cast<std::uint64_t>(typed.AsInt64()));
            break;
        case VT_UI8:
            metric.set_long_value(typed.AsUInt64());
            break;
        case VT_R4:
            metric.set_float_value(typed.AsFloat());
            break;
        case VT_R8:
            metric.set_double_value(typed.AsDouble());
            break;
        default:
            metric.set_string_value(typed.AsText());
            break;
    }
}

std::optional<Variant> MetricValue(MetricType type, const pb::Payload::Metric& metric) {
    using M = pb::Payload::Metric;
    if (metric.is_null()) return std::nullopt;
    const M::ValueCase field = metric.value_case();
    switch (type) {
        case MetricType::kBoolean:
            if (field != M::kBooleanValue) return std::nullopt;
            return Variant::Bool(metric.boolean_value());
        case MetricType::kInt16: {
            if (field != M::kIntValue) return std::nullopt;
            // Either the 16 bits alone or their sign extension to 32.
            const std::uint32_t v = metric.int_value();
            if (v > 0xFFFFu && v < 0xFFFF8000u) return std::nullopt;
            return Variant::Int16(static_cast<std::int16_t>(v & 0xFFFFu));
        }
        case MetricType::kUInt16:
            if (field != M::kIntValue || metric.int_value() > 0xFFFFu) return std::nullopt;
            return Variant::UInt16(static_cast<std::uint16_t>(metric.int_value()));
        case MetricType::kInt32:
            if (field != M::kIntValue) return std::nullopt;
            return Variant::Int32(static_cast<std::int32_t>(metric.int_value()));
        case MetricType::kUInt32:
            if (field != M::kIntValue) return std::nullopt;
            return Variant::UInt32(metric.int_value());
        case MetricType::kFloat:
            if (field != M::kFloatValue) return std::nullopt;
            return Variant::Float(metric.float_value());
        case MetricType::kDouble:
            if (field != M::kDoubleValue) return std::nullopt;
            return Variant::Double(metric.double_value());
        case MetricType::kString:
            if (field != M::kStringValue) return std::nullopt;
            return Variant::Text(metric.string_value());
        case MetricType::kInt64:
            if (field != M::kLongValue) return std::nullopt;
            return Variant::Int64(static_cast<std::int64_t>(metric.long_value()));
        case MetricType::kUInt64:
            if (field != M::kLongValue) return std::nullopt;
            return Variant::UInt64(metric.long_value());
    }
    return std::nullopt;
}

}  // namespace velk::sparkplug
