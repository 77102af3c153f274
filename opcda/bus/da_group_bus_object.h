#pragma once
// A DA group on the bus: its item management, state, synchronous and asynchronous I/O,
// 1.0 data object and callback connection point, each method mapped onto the group's own
// operation. The object is the client's reference on the group; the connections advised
// through it end with it.
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "opcda/bus/da_bus_context.h"
#include "opcda/bus/remote_sinks.h"
#include "platform/dbus/bus_object.h"

namespace velk {

class OPCGroup;

class DaGroupBusObject final : public IBusObject {
  public:
    DaGroupBusObject(dabus::DaBusContext context, std::shared_ptr<OPCGroup> group);
    // Unadvises its connections and hands the group to the release queue.
    ~DaGroupBusObject() override;
    DaGroupBusObject(const DaGroupBusObject&) = delete;
    DaGroupBusObject& operator=(const DaGroupBusObject&) = delete;

    std::vector<BusInterface> Interfaces() override;

  private:
    BusInterface ItemMgt();
    BusInterface StateMgt();
    BusInterface PublicStateMgt();
    BusInterface SyncIO();
    BusInterface AsyncIO();
    BusInterface AsyncIO2();
    BusInterface DataObject();
    BusInterface ConnectionPoints();

    BusReply AddOrValidateItems(BusCall& call, bool validate);
    BusReply CreateEnumerator();
    BusReply SetState(BusCall& call);
    BusReply CloneGroup(BusCall& call);
    BusReply Read(BusCall& call);
    BusReply Write(BusCall& call);
    BusReply DAdvise(BusCall& call);
    BusReply DUnadvise(BusCall& call);
    BusReply EnumDAdvise();
    BusReply Advise(const std::string& sinkPath);
    BusReply Unadvise(std::uint32_t cookie);

    dabus::DaBusContext context_;
    std::shared_ptr<OPCGroup> group_;
    // The connections advised through this object, which end with it. The group's
    // connections own the sinks. Calls of one client come one at a time, so these need no
    // lock of their own.
    std::set<std::uint32_t> callbacks_;
    std::set<std::uint32_t> advises_;
};

// Exports an object for the group below the called object and enters it in the group
// table; "" when the host could not export it.
std::string ExportGroupObject(IBusCallScope& scope, const dabus::DaBusContext& context,
                              std::shared_ptr<OPCGroup> group);

// The path of the client's object for the group, exported below the called object when
// there is none.
std::string GroupObjectPath(IBusCallScope& scope, const dabus::DaBusContext& context,
                            std::shared_ptr<OPCGroup> group);

}  // namespace velk
