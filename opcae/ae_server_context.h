#pragma once
// What every AE server object and its subscriptions and browsers are given by the
// application: the document (whose locks they take), the event space, the clock and the links to
// the rest of the server. Everything referred to outlives the objects.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace velk {

class AeEventSpace;
class CDoc;
class IAckMessageQueue;
class IAeEventDistributor;
class IClock;
class IServerObjectRegistry;
class TimedPassPool;

struct AeServerContext {
    CDoc* document = nullptr;            // the configuration; required
    const IClock* clock = nullptr;       // required
    AeEventSpace* eventSpace = nullptr;  // the document's when null
    // Optional links: server list membership, distribution to every AE server object (only
    // this object when null) and the redundancy acknowledgement queue.
    IServerObjectRegistry* registry = nullptr;
    IAeEventDistributor* distributor = nullptr;
    IAckMessageQueue* ackQueue = nullptr;
    // The redundancy "Enabled" setting, read at each acknowledgement.
    std::function<bool()> redundancyEnabled;
    std::uint16_t versionMajor = 0;
    std::uint16_t versionMinor = 0;
    std::uint16_t versionBuild = 0;
    std::string vendorText = "VELK";
    // Who the object serves, for the trace line of its creation ("" when unknown).
    std::string client;
    // Subscriptions run their delivery passes; tests clear it and step DeliverOnce.
    bool startDeliveryThreads = true;
    // The threads that run the delivery passes of the subscriptions, shared by every
    // server object of the class; null: the server object runs its own single thread.
    std::shared_ptr<TimedPassPool> deliveryPool;
    // Records a subscription queue holds at most; the oldest are dropped beyond it.
    std::size_t subscriptionQueueCapacity = 100000;
    // Subscriptions one client connection may hold at a time (the class's default for 0).
    std::size_t maxSubscriptionsPerClient = 0;
    // AE server objects one client connection may hold at a time (the class's default for 0).
    std::size_t maxObjectsPerClient = 0;
};

}  // namespace velk
