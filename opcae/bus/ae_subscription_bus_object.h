#pragma once
// One AE subscription on the bus: IOPCEventSubscriptionMgt, IOPCEventSubscriptionMgt2 and
// the IOPCEventSink connection point, whose sinks are the client's exported objects.
#include <memory>
#include <vector>

#include "opc/bus/sink_call_window.h"
#include "opcae/opc_event_server.h"
#include "opcae/opc_event_subscription.h"
#include "platform/dbus/bus_object.h"

namespace velk {

class AeSubscriptionBusObject final : public IBusObject {
  public:
    AeSubscriptionBusObject(std::shared_ptr<OPCEventSubscription> subscription,
                            std::weak_ptr<OPCEventServer> owner,
                            std::shared_ptr<BusSinkChannel> sinks,
                            std::shared_ptr<SinkCallWindow> queue,
                            std::shared_ptr<void> quotaSlot = nullptr);
    // Leaves the owner's list; the subscription ends with it.
    ~AeSubscriptionBusObject() override;

    std::vector<BusInterface> Interfaces() override;

  private:
    BusReply SetFilter(BusCall& call);
    BusReply GetFilter();
    BusReply SelectReturnedAttributes(BusCall& call);
    BusReply GetReturnedAttributes(BusCall& call);
    BusReply GetState();
    BusReply SetState(BusCall& call);
    BusReply SetKeepAlive(BusCall& call);
    BusReply Advise(const std::string& sinkPath);
    BusReply Unadvise(std::uint32_t cookie);

    std::shared_ptr<OPCEventSubscription> subscription_;
    std::weak_ptr<OPCEventServer> owner_;
    std::shared_ptr<BusSinkChannel> sinks_;
    std::shared_ptr<SinkCallWindow> queue_;
    std::shared_ptr<void> quotaSlot_;  // given back when the subscription goes
};

}  // namespace velk
