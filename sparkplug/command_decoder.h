#pragma once
// The host's commands to the node, decoded and checked before anything is applied: a
// command with one bad metric is refused whole. NCMD knows "Node Control/Rebirth" only;
// DCMD names the device's metrics by name or alias, with the metric's datatype (when it
// gives one) and a value in the field that datatype prescribes, within its range.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "model/variant.h"
#include "sparkplug/metric_layout.h"

namespace velk::sparkplug {

// Larger commands are refused unread: no host writes this many values at once.
inline constexpr std::size_t kMaxCommandBytes = 64 * 1024;

enum class CommandRefusal {
    kNone,
    kOversized,
    kMalformed,  // no Sparkplug B payload
    kNoMetrics,
    kUnknownMetric,  // no metric of the name or alias, or a name and alias that disagree
    kWrongDatatype,
    kWrongValue,  // null, another field than the datatype's, or out of its range
    kNotWritable,
};

struct CommandCheck {
    CommandRefusal refusal = CommandRefusal::kNone;
    std::string detail;  // the metric and what is wrong with it, for the trace
    bool Accepted() const { return refusal == CommandRefusal::kNone; }
};

struct NodeCommand {
    bool rebirth = false;
};

struct TagWrite {
    const MetricDef* metric = nullptr;
    Variant value;  // of the metric's type: a Double for a scaled tag, in engineering units
};

CommandCheck DecodeNodeCommand(std::string_view bytes, NodeCommand& command);
// writes: in the command's order; empty when refused.
CommandCheck DecodeDeviceCommand(const DeviceMetrics& device, std::string_view bytes,
                                 std::vector<TagWrite>& writes);

}  // namespace velk::sparkplug
