#pragma once
// The payloads of one edge node's session: NBIRTH and NDEATH with the session's bdSeq,
// DBIRTH, DDATA and DDEATH of its devices. Every message but NDEATH takes the next seq,
// 0 to 255 and round again, from the NBIRTH's 0 on. Not thread-safe: one publisher owns it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "sparkplug/metric_layout.h"
#include "sparkplug/metric_sample.h"

namespace velk::sparkplug {

class EdgeNodePayloads {
  public:
    explicit EdgeNodePayloads(std::uint8_t bdSeq) : bdSeq_(bdSeq) {}

    std::uint8_t BdSeq() const { return bdSeq_; }
    // The seq the next message takes.
    std::uint8_t NextSeq() const { return seq_; }

    // bdSeq and "Node Control/Rebirth" (false), with seq 0.
    std::string NBirth(FileTime now);
    // bdSeq only, without seq (the MQTT will, and the orderly stop's last message).
    std::string NDeath(FileTime now) const;
    // Every metric of the device by name and alias, with its datatype, value, time stamp
    // and properties (Quality; engUnit, engLow and engHigh for scaled tags).
    std::string DBirth(const DeviceMetrics& device, const std::vector<MetricSample>& samples,
                       FileTime now);
    // The metrics at the indexes, by alias only, with value, time stamp and, when it is not
    // good, the quality; historical marks each as replayed.
    std::string DData(const DeviceMetrics& device, const std::vector<std::size_t>& indexes,
                      const std::vector<MetricSample>& samples, FileTime now,
                      bool historical = false);
    std::string DDeath(FileTime now);

  private:
    std::uint8_t TakeSeq() { return seq_++; }

    std::uint8_t bdSeq_;
    std::uint8_t seq_ = 0;
};

}  // namespace velk::sparkplug
