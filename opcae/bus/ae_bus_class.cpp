#include "opcae/bus/ae_bus_class.h"

#include <new>

#include "core/trace_file.h"
#include "opc/bus/remote_shutdown_sink.h"
#include "opcae/bus/ae_bus_names.h"
#include "opcae/bus/ae_server_bus_object.h"
#include "opcae/opc_event_server.h"

namespace velk {

AeBusClass::AeBusClass(std::string busName, std::string factoryPath, ContextSource contextSource,
                       std::size_t subscriptionsPerClient)
    : busName_(std::move(busName)),
      factoryPath_(std::move(factoryPath)),
      contextSource_(std::move(contextSource)),
      subscriptionsPerClient_(subscriptionsPerClient),
      deliveryPool_(std::make_shared<TimedPassPool>("AeDelivery", kDeliveryThreads,
                                                    ThreadPriority::AboveNormal)) {}

AeBusClass::~AeBusClass() { deliveryPool_->Stop(); }

BusInstanceResult AeBusClass::CreateInstance(const BusClient& client,
                                             std::shared_ptr<BusSinkChannel> sinks) {
    std::optional<AeServerContext> context = contextSource_ ? contextSource_() : std::nullopt;
    if (!context || context->document == nullptr || context->clock == nullptr)
        return {CLASS_E_CLASSNOTAVAILABLE, nullptr};
    try {
        std::shared_ptr<SinkCallWindow> queue;
        std::shared_ptr<ClientQuota> subscriptions;
        std::shared_ptr<void> place;
        {
            std::lock_guard lock(queueLock_);
            std::erase_if(queues_, [](const auto& entry) { return entry.second.expired(); });
            std::erase_if(quotas_, [](const auto& entry) { return entry.second.expired(); });
            std::erase_if(objects_, [](const auto& entry) { return entry.second.expired(); });
            std::shared_ptr<ClientQuota> objects = objects_[client.name].lock();
            if (!objects) {
                objects = std::make_shared<ClientQuota>(static_cast<std::uint32_t>(
                    context->maxObjectsPerClient != 0 ? context->maxObjectsPerClient
                                                      : kObjectsPerClient));
                objects_[client.name] = objects;
            }
            place = objects->Take();
            if (!place) {
                Trace("OPC AE server instance refused for " + client.Describe() + ": it holds " +
                      std::to_string(objects->InUse()) + " instances");
                return {E_OUTOFMEMORY, nullptr};
            }
            queue = queues_[client.name].lock();
            if (!queue) {
                queue = SinkCallWindow::Create(sinks, kSinkCallWindow, kSinkCallsHeld);
                queues_[client.name] = queue;
            }
            subscriptions = quotas_[client.name].lock();
            if (!subscriptions) {
                subscriptions = std::make_shared<ClientQuota>(
                    context->maxSubscriptionsPerClient != 0 ? context->maxSubscriptionsPerClient
                                                            : subscriptionsPerClient_);
                quotas_[client.name] = subscriptions;
            }
        }
        context->client = client.Describe();
        if (!context->deliveryPool) context->deliveryPool = deliveryPool_;
        auto server = std::make_shared<OPCEventServer>(std::move(*context));
        return {S_OK, std::make_unique<AeServerBusObject>(
                          std::move(server), std::move(sinks), std::move(queue),
                          std::move(subscriptions), std::move(place))};
    } catch (const std::bad_alloc&) {
        return {E_OUTOFMEMORY, nullptr};
    }
}

std::vector<std::string> AeBusClass::SinkInterfaces() const {
    return {kShutdownSinkInterface, kIOPCEventSink};
}

}  // namespace velk
