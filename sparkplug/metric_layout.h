#pragma once
// What the edge node publishes of the configuration tree: one Sparkplug device per
// controller, named after it, and one metric per tag, named by the tag's path below the
// device with "/" between the groups ("Tanks/Level"). Aliases are unique over the node:
// the node's own metrics first, then the devices' tags in tree order, so an unchanged tree
// gives the same aliases at every birth.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"

namespace velk {
class ODevice;
class OModbusTag;
class OTagGroup;
}  // namespace velk

namespace velk::sparkplug {

// The Sparkplug datatype codes this node publishes.
enum class MetricType : std::uint32_t {
    kInt16 = 2,
    kInt32 = 3,
    kInt64 = 4,
    kUInt16 = 6,
    kUInt32 = 7,
    kUInt64 = 8,
    kFloat = 9,
    kDouble = 10,
    kBoolean = 11,
    kString = 12,
};

// The node's own metrics.
inline constexpr std::string_view kBdSeqName = "bdSeq";
inline constexpr std::string_view kRebirthName = "Node Control/Rebirth";
inline constexpr std::uint64_t kBdSeqAlias = 0;
inline constexpr std::uint64_t kRebirthAlias = 1;
inline constexpr std::uint64_t kFirstDeviceAlias = 2;

// Sparkplug's quality codes.
inline constexpr std::int32_t kSparkplugQualityBad = 0;
inline constexpr std::int32_t kSparkplugQualityGood = 192;
inline constexpr std::int32_t kSparkplugQualityStale = 500;

struct MetricDef {
    std::string name;
    std::uint64_t alias = 0;
    MetricType type = MetricType::kBoolean;
    const OModbusTag* tag = nullptr;
    // Scaled tags: their engineering range and unit, which the deadband is a share of.
    bool scaled = false;
    double engLow = 0.0;
    double engHigh = 0.0;
    std::string engUnit;
    bool writable = false;
};

struct DeviceMetrics {
    std::string deviceId;
    const ODevice* device = nullptr;
    std::vector<MetricDef> metrics;

    // Names compare exactly, as on the wire; null when none matches.
    const MetricDef* FindByName(std::string_view name) const;
    const MetricDef* FindByAlias(std::uint64_t alias) const;
};

class MetricLayout {
  public:
    // The layout of the devices in the root group. The caller holds TreeLock and
    // TagDataLock (the tag sheet changes types and scalings under it); the layout points
    // at the tree's tags and is valid until the tree changes, when the node births again.
    // A device whose name is no valid topic id, and a tag whose metric name another
    // metric of the device already has, are left out and named in Skipped().
    static MetricLayout Build(const OTagGroup& root);

    const std::vector<DeviceMetrics>& Devices() const { return devices_; }
    const DeviceMetrics* FindDevice(std::string_view deviceId) const;
    // One text per device or tag left out, for the trace.
    const std::vector<std::string>& Skipped() const { return skipped_; }

  private:
    std::vector<DeviceMetrics> devices_;
    std::vector<std::string> skipped_;
};

// The Sparkplug datatype of a tag: its own type, Double when an analog scaling converts it.
MetricType MetricTypeOf(const OModbusTag& tag);
// Good, uncertain and bad OPC qualities as Sparkplug's good, stale and bad.
std::int32_t SparkplugQuality(std::uint16_t opcQuality);
// Milliseconds since 1970-01-01 UTC; 0 for earlier times.
std::uint64_t ToSparkplugTime(FileTime time);

}  // namespace velk::sparkplug
