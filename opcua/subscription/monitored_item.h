#pragma once
// One monitored item of a subscription: the data change filter that decides which samples
// become notifications, the bounded queue of those notifications with its discard policy,
// the monitoring mode and the triggering links to the items it reports with it.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <vector>

#include "opcua/subscription/sampling_source.h"
#include "opcua/subscription/subscription_messages.h"
#include "opcua/subscription/value_queue.h"

namespace velk::ua {

// A DataChangeFilter checked against its node, with the deadband as an absolute amount.
struct ResolvedFilter {
    DataChangeTrigger trigger = DataChangeTrigger::kStatusValue;
    // Absent: no deadband. A percent deadband is its share of the EURange's span.
    std::optional<double> deadband;
};

// Checks a MonitoringParameters filter for a node's attribute: a missing filter is the
// default (status or value); EventFilter or AggregateFilter is
// BadMonitoredItemFilterUnsupported, any filter on another attribute than Value or a
// deadband on a value that is not a number BadFilterNotAllowed, a body that does not
// decode BadMonitoredItemFilterInvalid, a negative absolute deadband, a percent outside 0 to
// 100 or without an EURange BadDeadbandFilterInvalid.
StatusCode ResolveDataChangeFilter(const ExtensionObject& filter, std::uint32_t attributeId,
                                   const SampledNodeInfo& node, ResolvedFilter& out);

// Whether a new sample passes the filter against the last value queued.
bool PassesFilter(const ResolvedFilter& filter, const DataValue& last, const DataValue& sample);

struct MonitoredItemSettings {
    std::uint32_t clientHandle = 0;
    double samplingIntervalMs = 0;
    // At least 1.
    std::uint32_t queueSize = 1;
    bool discardOldest = true;
    ResolvedFilter filter;
    TimestampsToReturn timestamps = TimestampsToReturn::kBoth;
};

class MonitoredItem {
  public:
    MonitoredItem(std::uint32_t id, ReadValueId item, MonitoringMode mode,
                  MonitoredItemSettings settings);

    std::uint32_t Id() const { return id_; }
    const ReadValueId& Item() const { return item_; }
    MonitoringMode Mode() const { return mode_; }
    const MonitoredItemSettings& Settings() const { return settings_; }
    SamplingHandle Handle() const { return handle_; }
    void SetHandle(SamplingHandle handle) { handle_ = handle; }

    // Queues the sample when the item is enabled and the sample passes the filter (the
    // first sample after creation or enabling always does); true when queued. serverTime
    // stamps the value when its server timestamp is asked for.
    bool OnSample(const DataValue& sample, DateTime serverTime);
    // Disabling drops the queue and the last value, so enabling reports the first sample.
    void SetMode(MonitoringMode mode);
    // A smaller queue drops values by the discard policy (and marks the overflow).
    void Modify(const MonitoredItemSettings& settings);

    // A sampling item's queued values are reported with the next message once an item
    // that links to it queues a value.
    void Trigger();
    std::set<std::uint32_t>& Links() { return links_; }

    // Reporting with values queued, or sampling and triggered with values queued.
    bool Reportable() const;
    // Moves up to max reportable notifications to out, oldest first; returns how many.
    std::size_t TakeNotifications(std::size_t max, std::vector<MonitoredItemNotification>& out);
    std::size_t QueuedCount() const { return queue_.size(); }

  private:
    void Enqueue(DataValue value);
    void Shrink();
    DataValue Stamped(const DataValue& sample, DateTime serverTime) const;

    std::uint32_t id_;
    ReadValueId item_;
    MonitoringMode mode_;
    MonitoredItemSettings settings_;
    SamplingHandle handle_ = 0;
    std::optional<DataValue> last_;
    ValueQueue queue_;
    bool triggered_ = false;
    std::set<std::uint32_t> links_;
};

}  // namespace velk::ua
