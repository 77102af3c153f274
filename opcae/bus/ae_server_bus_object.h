#pragma once
// The AE server instance of one client on the bus: IOPCCommon, IOPCEventServer and the
// IOPCShutdown connection point over one OPCEventServer. Subscriptions and area browsers
// are exported below it for the same client.
#include <memory>
#include <vector>

#include "opc/bus/sink_call_window.h"
#include "opc/client_quota.h"
#include "opcae/opc_event_server.h"
#include "platform/dbus/bus_object.h"

namespace velk {

class AeServerBusObject final : public IBusObject {
  public:
    // The queue of sink calls and the quota of subscriptions are shared by every AE object
    // of the same client connection; place is the object's unit of the connection's bound on
    // AE server objects.
    AeServerBusObject(std::shared_ptr<OPCEventServer> server, std::shared_ptr<BusSinkChannel> sinks,
                      std::shared_ptr<SinkCallWindow> queue,
                      std::shared_ptr<ClientQuota> subscriptions,
                      std::shared_ptr<void> place = nullptr);

    std::vector<BusInterface> Interfaces() override;

    const std::shared_ptr<OPCEventServer>& Server() const { return server_; }

  private:
    BusReply GetStatus();
    BusReply CreateEventSubscription(BusCall& call);
    BusReply QueryEventCategories(BusCall& call);
    BusReply QueryConditionNames(BusCall& call);
    BusReply QuerySubConditionNames(BusCall& call);
    BusReply QuerySourceConditions(BusCall& call);
    BusReply QueryEventAttributes(BusCall& call);
    BusReply GetConditionState(BusCall& call);
    BusReply ConditionsBy(BusCall& call,
                          HRESULT (OPCEventServer::*method)(std::uint32_t, const std::string*));
    BusReply AckCondition(BusCall& call);
    BusReply CreateAreaBrowser(BusCall& call);
    BusReply Advise(const std::string& sinkPath);
    BusReply Unadvise(std::uint32_t cookie);

    std::shared_ptr<OPCEventServer> server_;
    std::shared_ptr<BusSinkChannel> sinks_;
    std::shared_ptr<SinkCallWindow> queue_;
    std::shared_ptr<ClientQuota> subscriptions_;
    std::shared_ptr<void> place_;
};

}  // namespace velk
