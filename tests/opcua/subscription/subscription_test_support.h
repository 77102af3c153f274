#pragma once
// A sampling source the tests feed by hand, and helpers to build and read the
// subscription services' messages.
#include <map>
#include <string>
#include <vector>

#include "opcua/subscription/subscription_services.h"
#include "tests/opcua/ua_test_support.h"
#include "tests/support/fake_clock.h"

namespace velk::ua::test {

class FakeSamplingSource final : public ISamplingSource {
  public:
    std::map<std::string, SampledNodeInfo> nodes;
    std::vector<SampleSpec> started;
    std::vector<SamplingHandle> stopped;
    std::map<SamplingHandle, std::string> live;

    SampledNodeInfo Describe(const NodeId& node, std::uint32_t attributeId) const override {
        const auto* id = std::get_if<std::string>(&node.identifier);
        const auto it = id ? nodes.find(*id) : nodes.end();
        if (it == nodes.end()) return {kBadNodeIdUnknown, false, std::nullopt};
        if (attributeId != kAttributeIdValue && attributeId != 4)
            return {kBadAttributeIdInvalid, false, std::nullopt};
        return it->second;
    }
    // A grid of 100 ms steps up to 10 s.
    double ReviseSamplingInterval(double ms) const override {
        const double step = ms <= 100 ? 100 : 100 * static_cast<int>((ms + 99.999) / 100);
        return step > 10000 ? 10000 : step;
    }
    std::vector<SamplingHandle> StartSampling(const std::vector<SampleSpec>& specs,
                                              ISampleSink&) override {
        std::vector<SamplingHandle> handles;
        for (const SampleSpec& s : specs) {
            started.push_back(s);
            handles.push_back(++next_);
            live[next_] = std::get<std::string>(s.nodeId.identifier);
        }
        return handles;
    }
    void StopSampling(const std::vector<SamplingHandle>& handles) override {
        for (const SamplingHandle h : handles) {
            stopped.push_back(h);
            live.erase(h);
        }
    }
    // Sends value to every live handle of node.
    void Send(SessionSubscriptions& session, const std::string& node, const DataValue& value) {
        const auto copy = live;
        for (const auto& [handle, name] : copy) {
            if (name == node) session.OnSample(handle, value);
        }
    }

  private:
    SamplingHandle next_ = 0;
};

inline DataValue Value(double v, StatusCode status = kGood) {
    DataValue d;
    d.value = Variant::Scalar(v);
    if (status != kGood) d.status = status;
    return d;
}

inline ExtensionObject Filter(DataChangeTrigger trigger, DeadbandType type, double value) {
    return ToExtensionObject(DataChangeFilter{trigger, static_cast<std::uint32_t>(type), value});
}

inline MonitoredItemCreateRequest Item(const std::string& node, std::uint32_t clientHandle,
                                       MonitoringMode mode = MonitoringMode::kReporting,
                                       std::uint32_t queueSize = 1) {
    MonitoredItemCreateRequest r;
    r.itemToMonitor.nodeId = NodeId::String(1, node);
    r.monitoringMode = mode;
    r.requestedParameters.clientHandle = clientHandle;
    r.requestedParameters.queueSize = queueSize;
    return r;
}

// The data change notifications of a message (empty for a keep-alive).
inline std::vector<MonitoredItemNotification> Notifications(const NotificationMessage& m) {
    std::vector<MonitoredItemNotification> all;
    for (const ExtensionObject& o : m.notificationData) {
        DataChangeNotification change;
        BinaryReader outer{std::span<const std::uint8_t>{}};
        if (FromExtensionObject(o, change, outer) == kGood) {
            all.insert(all.end(), change.monitoredItems.begin(), change.monitoredItems.end());
        }
    }
    return all;
}

inline std::vector<std::uint32_t> Handles(const NotificationMessage& m) {
    std::vector<std::uint32_t> handles;
    for (const auto& n : Notifications(m)) handles.push_back(n.clientHandle);
    return handles;
}

// A session over a fake clock and source, with one subscription of the given publishing
// interval (ms) and keep-alive count.
struct SessionFixture {
    explicit SessionFixture(SubscriptionLimits limits = {}) : server(limits) {}

    std::uint32_t Subscribe(double intervalMs = 100, std::uint32_t keepAlive = 3,
                            std::uint32_t lifetime = 9, std::uint8_t priority = 0,
                            std::uint32_t maxPerPublish = 0) {
        CreateSubscriptionRequest r;
        r.requestedPublishingInterval = intervalMs;
        r.requestedMaxKeepAliveCount = keepAlive;
        r.requestedLifetimeCount = lifetime;
        r.publishingEnabled = true;
        r.priority = priority;
        r.maxNotificationsPerPublish = maxPerPublish;
        return CreateSubscription(r, session).subscriptionId;
    }
    std::vector<std::uint32_t> Monitor(std::uint32_t subscriptionId,
                                       std::vector<MonitoredItemCreateRequest> items) {
        CreateMonitoredItemsRequest r;
        r.subscriptionId = subscriptionId;
        r.itemsToCreate = std::move(items);
        std::vector<std::uint32_t> ids;
        for (const auto& result : CreateMonitoredItems(r, session).results) {
            ids.push_back(result.monitoredItemId);
        }
        return ids;
    }
    // Sends a Publish request with acks and returns the answers it got at once.
    std::vector<PublishOutcome> Publish(std::vector<SubscriptionAcknowledgement> acks = {},
                                        std::uint32_t timeoutHint = 0) {
        PublishRequest r;
        r.requestHeader.requestHandle = ++requestId;
        r.requestHeader.timeoutHint = timeoutHint;
        r.subscriptionAcknowledgements = std::move(acks);
        std::vector<PublishOutcome> out;
        ua::Publish(requestId, r, session, out);
        return out;
    }
    // Advances the clock by ms in publishing-sized steps, ticking after each.
    std::vector<PublishOutcome> Run(std::uint64_t ms, std::uint64_t step = 10) {
        std::vector<PublishOutcome> out;
        for (std::uint64_t t = 0; t < ms; t += step) {
            clock.Advance(step);
            session.Tick(out);
        }
        return out;
    }

    testing::FakeClock clock;
    FakeSamplingSource source;
    SubscriptionServerState server;
    SessionSubscriptions session{server, source, clock};
    std::uint64_t requestId = 0;
};

}  // namespace velk::ua::test
