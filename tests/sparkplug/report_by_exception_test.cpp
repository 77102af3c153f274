#include "sparkplug/report_by_exception.h"

#include <gtest/gtest.h>

#include <limits>

#include "model/o_tag.h"

namespace velk::sparkplug {
namespace {

MetricDef Scaled(double low, double high) {
    MetricDef metric;
    metric.type = MetricType::kDouble;
    metric.scaled = true;
    metric.engLow = low;
    metric.engHigh = high;
    return metric;
}

MetricSample Good(Variant value, FileTime time = 0) {
    return {std::move(value), kQualityGood, time};
}

TEST(ReportByExceptionTest, ScaledValuesMustMoveByMoreThanTheDeadbandsShareOfTheRange) {
    const MetricDef level = Scaled(0.0, 200.0);  // 25 % of it: 50
    const MetricDef reversed = Scaled(200.0, 0.0);
    const MetricSample sent = Good(Variant::Double(100.0));
    const struct {
        double now;
        bool reported;
    } cases[] = {
        {150.0, false}, {150.0001, true}, {50.0, false}, {49.9999, true}, {100.0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.now);
        EXPECT_EQ(IsReportable(level, sent, Good(Variant::Double(c.now)), 25.0), c.reported);
        EXPECT_EQ(IsReportable(reversed, sent, Good(Variant::Double(c.now)), 25.0), c.reported);
        // Without a deadband every change counts.
        EXPECT_EQ(IsReportable(level, sent, Good(Variant::Double(c.now)), 0.0), c.now != 100.0);
    }
}

TEST(ReportByExceptionTest, QualityTypeAndUnscaledValuesReportAnyChange) {
    MetricDef plain;
    plain.type = MetricType::kInt16;
    const MetricDef level = Scaled(0.0, 200.0);
    const MetricSample sent = Good(Variant::Int16(7), 100);
    // The deadband applies to scaled metrics only.
    EXPECT_TRUE(IsReportable(plain, sent, Good(Variant::Int16(8)), 50.0));
    EXPECT_FALSE(IsReportable(plain, sent, Good(Variant::Int16(7), 200), 50.0));  // time only
    MetricSample bad = sent;
    bad.quality = 0x18;
    EXPECT_TRUE(
        IsReportable(level, Good(Variant::Double(1.0)), {Variant::Double(1.0), 0x18, 0}, 50.0));
    EXPECT_TRUE(IsReportable(plain, sent, bad, 50.0));
    // A value that could not be scaled stays raw: another type is a change.
    EXPECT_TRUE(IsReportable(level, Good(Variant::Double(7.0)), Good(Variant::Int16(7)), 50.0));
    EXPECT_TRUE(IsReportable(plain, Good(Variant::Text("a")), Good(Variant::Text("b")), 50.0));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(IsReportable(level, Good(Variant::Double(1.0)), Good(Variant::Double(nan)), 50.0));
    EXPECT_FALSE(IsReportable(level, Good(Variant::Double(nan)), Good(Variant::Double(nan)), 50.0));
    EXPECT_FALSE(IsReportable(plain, Good(Variant::Double(nan)), Good(Variant::Double(nan)), 0.0));
}

TEST(ReportByExceptionTest, DriftIsMeasuredFromTheValueLastSent) {
    DeviceMetrics device;
    device.metrics = {Scaled(0.0, 200.0), MetricDef{}};
    device.metrics[1].type = MetricType::kBoolean;
    DeviceReport report;
    report.Reset({Good(Variant::Double(100.0)), Good(Variant::Bool(false))});
    const struct {
        double level;
        bool run;
        std::vector<std::size_t> reported;
    } steps[] = {
        {130.0, false, {}}, {140.0, true, {1}},     {151.0, true, {0}},
        {190.0, true, {}},  {201.5, false, {0, 1}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.level);
        EXPECT_EQ(
            report.TakeChanges(
                device, {Good(Variant::Double(step.level)), Good(Variant::Bool(step.run))}, 25.0),
            step.reported);
    }
}

}  // namespace
}  // namespace velk::sparkplug
