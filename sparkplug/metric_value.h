#pragma once
// Tag values in and out of a metric's value field, by the metric's datatype.
#include <optional>

#include "model/variant.h"
#include "sparkplug/metric_layout.h"

namespace velk::sparkplug {
namespace pb {
class Payload_Metric;
}

// The variant type of a metric's values.
VarType VarTypeOfMetric(MetricType type);

// The value converted to the datatype in the field the datatype prescribes; is_null when
// it has none (never read, or not convertible).
void SetMetricValue(MetricType type, const Variant& value, pb::Payload_Metric& metric);

// The value a metric carries as the datatype's variant; none when it is null, in another
// field than the datatype prescribes, or out of the datatype's range.
std::optional<Variant> MetricValue(MetricType type, const pb::Payload_Metric& metric);

}  // namespace velk::sparkplug
