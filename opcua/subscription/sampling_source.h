#pragma once
// Where monitored items get their values. The plant's values come through the same update
// grid and shared block reads as the DA groups; the subscription logic only asks "sample
// these nodes at this interval" and receives the samples, so it is tested with a fake.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "opcua/data_value.h"
#include "opcua/node_id.h"

namespace velk::ua {

using SamplingHandle = std::uint64_t;

// The engineering range of an analog item, the base of a percent deadband.
struct EuRange {
    double low = 0;
    double high = 0;
};

// What a node's attribute allows a monitored item to do.
struct SampledNodeInfo {
    // Good, BadNodeIdUnknown or BadAttributeIdInvalid.
    StatusCode status;
    // The value is a number (or an array of numbers): deadbands apply.
    bool numeric = false;
    // Present for an analog item with an EURange.
    std::optional<EuRange> euRange;
};

struct SampleSpec {
    NodeId nodeId;
    std::uint32_t attributeId = 0;
    double intervalMs = 0;
};

struct Sample {
    SamplingHandle handle = 0;
    DataValue value;
};

// Receives the samples of started nodes, on the thread that drives the session's
// subscriptions (the source posts them there).
class ISampleSink {
  public:
    virtual ~ISampleSink() = default;
    // A node that disappears sends one sample with status BadNodeIdUnknown and no value.
    virtual void OnSample(SamplingHandle handle, const DataValue& value) = 0;
    // Several samples at once (one device read's): a sink that posts them elsewhere makes one
    // task of them, not one per item.
    virtual void OnSamples(std::span<const Sample> samples) {
        for (const Sample& s : samples) OnSample(s.handle, s.value);
    }
};

class ISamplingSource {
  public:
    virtual ~ISamplingSource() = default;
    virtual SampledNodeInfo Describe(const NodeId& node, std::uint32_t attributeId) const = 0;
    // The interval the source samples at for a request of requestedMs (>= 0): the nearest
    // supported period not below it, or the slowest supported one.
    virtual double ReviseSamplingInterval(double requestedMs) const = 0;
    // Starts sampling each node at its interval, one handle per requested node in order; the first
    // sample of each comes as soon as the source has it, never from inside this call.
    virtual std::vector<SamplingHandle> StartSampling(const std::vector<SampleSpec>& specs,
                                                      ISampleSink& sink) = 0;
    virtual void StopSampling(const std::vector<SamplingHandle>& handles) = 0;
};

}  // namespace velk::ua
