#pragma once
// Data by exception: a metric goes into DDATA when its quality or its value differs from
// what the node last sent of it. For a scaled metric with a deadband the value must have
// moved by more than the deadband's share of the engineering range, as a DA item's
// percent deadband asks: |sent - now| > deadband / 100 * (engHigh - engLow). The
// comparison is with the value last sent, so a slow drift is reported once it adds up.
#include <cstddef>
#include <vector>

#include "sparkplug/metric_layout.h"
#include "sparkplug/metric_sample.h"

namespace velk::sparkplug {

bool IsReportable(const MetricDef& metric, const MetricSample& sent, const MetricSample& now,
                  double deadbandPercent);

// What the node last sent of one device's metrics.
class DeviceReport {
  public:
    // After the device's DBIRTH: the values the birth carried.
    void Reset(std::vector<MetricSample> born) { sent_ = std::move(born); }
    // False until the first Reset or TakeChanges of a device with metrics.
    bool HasBaseline() const { return !sent_.empty(); }

    // The indexes of the metrics to report, which are then taken as sent. An empty list
    // when nothing is to be reported.
    std::vector<std::size_t> TakeChanges(const DeviceMetrics& device,
                                         const std::vector<MetricSample>& now,
                                         double deadbandPercent);

  private:
    std::vector<MetricSample> sent_;
};

}  // namespace velk::sparkplug
