#pragma once
// A device's data changes as the spool keeps them while the node cannot publish: by metric
// name, not alias, so a record made before a restart or a rebirth still finds its metric.
// At the replay each becomes a DDATA of the current session, flagged is_historical.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "sparkplug/edge_node_payloads.h"
#include "sparkplug/metric_layout.h"
#include "sparkplug/metric_sample.h"

namespace velk::sparkplug {

// The metrics at the indexes with their values, qualities and time stamps.
std::string MakeHistoricalRecord(const DeviceMetrics& device,
                                 const std::vector<std::size_t>& indexes,
                                 const std::vector<MetricSample>& samples);

struct HistoricalData {
    std::string deviceId;
    std::string payload;  // the DDATA
};

// The record as a DDATA of the node's session, by the layout's aliases, each metric
// is_historical; metrics that the layout no longer has, or has with another datatype, are
// left out. None (and no seq taken) for a record that is damaged, of a device that is no
// longer published, or with no metric left.
std::optional<HistoricalData> ReplayHistoricalRecord(EdgeNodePayloads& node,
                                                     const MetricLayout& layout,
                                                     std::string_view record, FileTime now);

}  // namespace velk::sparkplug
