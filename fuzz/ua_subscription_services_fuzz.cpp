// Fuzz target of the Subscription and MonitoredItem service requests. The input is a run
// of records: a byte of clock advance (x 10 ms), a 16-bit length, then that many bytes of
// one service message (its encoding id, then its body). Each record that decodes is run
// against one session with a sampling source that answers every node; samples follow
// every record. Whatever the input, the session's queues stay within their bounds and
// every response encodes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "opcua/subscription/subscription_services.h"

namespace {

using namespace velk;
using namespace velk::ua;

class StepClock final : public IClock {
  public:
    FileTime NowUtc() const override { return now; }
    LocalTime NowLocal() const override { return {}; }
    std::uint32_t TickCount() const override { return static_cast<std::uint32_t>(now / 10000); }
    LocalTime ToLocal(FileTime) const override { return {}; }
    bool LocalToUtc(const LocalTime&, FileTime&) const override { return false; }
    void Sleep(std::uint32_t ms) override { now += FileTime{ms} * kFileTimeTicksPerMs; }
    FileTime now = 130000000000000000ull;
};

class AnySource final : public ISamplingSource {
  public:
    SampledNodeInfo Describe(const NodeId& node, std::uint32_t) const override {
        if (node.namespaceIndex == 0) return {kBadNodeIdUnknown, false, std::nullopt};
        return {kGood, true, EuRange{0, 100}};
    }
    double ReviseSamplingInterval(double ms) const override { return ms < 100 ? 100 : ms; }
    std::vector<SamplingHandle> StartSampling(const std::vector<SampleSpec>& specs,
                                              ISampleSink&) override {
        std::vector<SamplingHandle> handles;
        for (std::size_t i = 0; i < specs.size(); ++i) {
            handles.push_back(++next);
            live.push_back(next);
        }
        return handles;
    }
    void StopSampling(const std::vector<SamplingHandle>& handles) override {
        for (const SamplingHandle h : handles) std::erase(live, h);
    }
    SamplingHandle next = 0;
    std::vector<SamplingHandle> live;
};

template <class Response>
void MustEncode(const Response& response) {
    if (EncodeServiceMessage(response).empty()) std::abort();
}

template <class Request, class Run>
bool Try(const NodeId& type, BinaryReader& r, Run run) {
    if (type != BinaryEncodingId<Request>()) return false;
    Request request;
    Decode(r, request);
    if (r.Ok()) run(request);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    SubscriptionLimits limits;
    limits.maxSubscriptionsPerSession = 4;
    limits.maxMonitoredItems = 64;
    limits.maxPublishRequestsPerSession = 4;
    limits.maxQueueSize = 8;
    SubscriptionServerState server(limits);
    StepClock clock;
    AnySource source;
    DecodeLimits decodeLimits;
    decodeLimits.maxArrayLength = 256;
    decodeLimits.maxStringLength = 256;
    decodeLimits.maxByteStringLength = 256;
    std::vector<PublishOutcome> out;
    std::uint64_t requestId = 0;
    std::size_t at = 0;
    int sample = 0;
    {
        SessionSubscriptions session(server, source, clock);
        while (at + 3 <= size) {
            clock.Sleep(data[at] * 10u);
            const std::size_t length = data[at + 1] | (std::size_t{data[at + 2]} << 8);
            at += 3;
            const std::span<const std::uint8_t> message(data + at, std::min(length, size - at));
            at += message.size();
            session.Tick(out);
            BinaryReader r(message, decodeLimits);
            NodeId type;
            Decode(r, type);
            if (!r.Ok()) continue;
            auto& s = session;
            Try<CreateSubscriptionRequest>(
                type, r, [&](auto& q) { MustEncode(CreateSubscription(q, s)); }) ||
                Try<ModifySubscriptionRequest>(
                    type, r, [&](auto& q) { MustEncode(ModifySubscription(q, s)); }) ||
                Try<SetPublishingModeRequest>(
                    type, r, [&](auto& q) { MustEncode(SetPublishingMode(q, s)); }) ||
                Try<PublishRequest>(type, r, [&](auto& q) { Publish(++requestId, q, s, out); }) ||
                Try<RepublishRequest>(type, r, [&](auto& q) { MustEncode(Republish(q, s)); }) ||
                Try<DeleteSubscriptionsRequest>(
                    type, r, [&](auto& q) { MustEncode(DeleteSubscriptions(q, s)); }) ||
                Try<CreateMonitoredItemsRequest>(
                    type, r, [&](auto& q) { MustEncode(CreateMonitoredItems(q, s)); }) ||
                Try<ModifyMonitoredItemsRequest>(
                    type, r, [&](auto& q) { MustEncode(ModifyMonitoredItems(q, s)); }) ||
                Try<SetMonitoringModeRequest>(
                    type, r, [&](auto& q) { MustEncode(SetMonitoringMode(q, s)); }) ||
                Try<SetTriggeringRequest>(type, r,
                                          [&](auto& q) { MustEncode(SetTriggering(q, s)); }) ||
                Try<DeleteMonitoredItemsRequest>(
                    type, r, [&](auto& q) { MustEncode(DeleteMonitoredItems(q, s)); });
            for (const SamplingHandle h : std::vector<SamplingHandle>(source.live)) {
                DataValue v;
                v.value = Variant::Scalar(static_cast<double>(sample++ % 7));
                session.OnSample(h, v);
            }
            for (const PublishOutcome& o : out) MustEncode(o.response);
            out.clear();
            if (session.QueuedPublishRequests() > limits.maxPublishRequestsPerSession) std::abort();
            if (session.Count() > limits.maxSubscriptionsPerSession) std::abort();
            if (server.MonitoredItemCount() > limits.maxMonitoredItems) std::abort();
        }
    }
    // The session gave back every item and stopped every sampling.
    if (server.MonitoredItemCount() != 0 || !source.live.empty()) std::abort();
    return 0;
}
