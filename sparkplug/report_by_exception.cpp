#include "sparkplug/report_by_exception.h"

#include <cmath>

namespace velk::sparkplug {

bool IsReportable(const MetricDef& metric, const MetricSample& sent, const MetricSample& now,
                  double deadbandPercent) {
    if (sent.quality != now.quality) return true;
    if (sent.value.Type() != now.value.Type()) return true;
    double before = 0.0;
    double after = 0.0;
    const bool numeric =
        now.value.Type() != VT_BSTR && sent.value.ToDouble(before) && now.value.ToDouble(after);
    if (!numeric) return !(sent.value == now.value);
    // A NaN is a change against a number, and none against another NaN.
    if (std::isnan(before) || std::isnan(after)) return std::isnan(before) != std::isnan(after);
    if (!metric.scaled || deadbandPercent <= 0.0) return before != after;
    const double band = deadbandPercent / 100.0 * std::fabs(metric.engHigh - metric.engLow);
    return std::fabs(before - after) > band;
}

std::vector<std::size_t> DeviceReport::TakeChanges(const DeviceMetrics& device,
                                                   const std::vector<MetricSample>& now,
                                                   double deadbandPercent) {
    std::vector<std::size_t> changed;
    // A device that was never born, or whose layout changed, reports everything.
    if (sent_.size() != now.size()) sent_.assign(now.size(), MetricSample{});
    for (std::size_t i = 0; i < now.size() && i < device.metrics.size(); ++i) {
        if (!IsReportable(device.metrics[i], sent_[i], now[i], deadbandPercent)) continue;
        sent_[i] = now[i];
        changed.push_back(i);
    }
    return changed;
}

}  // namespace velk::sparkplug
