#pragma once
// The AE server class on the bus: every CreateInstance makes one OPCEventServer for the
// calling client, with the context the application supplies at that moment, up to the
// connection's bound on AE server objects (E_OUTOFMEMORY beyond it).
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "opc/bus/sink_call_window.h"
#include "opc/client_quota.h"
#include "opcae/ae_server_context.h"
#include "platform/dbus/bus_object.h"
#include "platform/timed_pass_pool.h"

namespace velk {

class AeBusClass final : public IBusClass {
  public:
    // Sink calls one client has outstanding at most, below the bus host's own limit, which
    // also counts the shutdown calls; and the calls that may wait beyond them.
    static constexpr std::size_t kSinkCallWindow = 32;
    static constexpr std::size_t kSinkCallsHeld = 8192;
    // Subscriptions one client connection may hold at a time, over all its instances, unless
    // the context sets its own number: each holds a queue of events and a delivery pass.
    static constexpr std::size_t kSubscriptionsPerClient = 200;
    // AE server objects one client connection may hold at a time, unless the context sets
    // its own number.
    static constexpr std::size_t kObjectsPerClient = 16;
    // The threads that run the delivery passes of every subscription of every client. A
    // pass never waits for a client (its sink calls go into the client's window), so a few
    // serve any number of subscriptions.
    static constexpr std::size_t kDeliveryThreads = 4;

    // The context of a new server object; none while the server has no configuration
    // document yet (the creation is then refused with CLASS_E_CLASSNOTAVAILABLE).
    using ContextSource = std::function<std::optional<AeServerContext>()>;

    AeBusClass(std::string busName, std::string factoryPath, ContextSource contextSource,
               std::size_t subscriptionsPerClient = kSubscriptionsPerClient);
    // Stops the delivery threads (bounded wait).
    ~AeBusClass() override;
    AeBusClass(const AeBusClass&) = delete;
    AeBusClass& operator=(const AeBusClass&) = delete;

    std::string BusName() const override { return busName_; }
    std::string FactoryPath() const override { return factoryPath_; }
    BusInstanceResult CreateInstance(const BusClient& client,
                                     std::shared_ptr<BusSinkChannel> sinks) override;
    std::vector<std::string> SinkInterfaces() const override;

  private:
    std::string busName_;
    std::string factoryPath_;
    ContextSource contextSource_;
    std::size_t subscriptionsPerClient_;
    // Given to every server object whose context brings no threads of its own.
    std::shared_ptr<TimedPassPool> deliveryPool_;
    // One queue of sink calls per client connection, shared by its instances.
    std::mutex queueLock_;
    std::map<std::string, std::weak_ptr<SinkCallWindow>> queues_;
    std::map<std::string, std::weak_ptr<ClientQuota>> quotas_;
    std::map<std::string, std::weak_ptr<ClientQuota>> objects_;
};

}  // namespace velk
