#pragma once
// The DA server object of one client on the bus: IOPCServer, IOPCCommon, the browser, item
// properties, the shutdown connection point and the Device Monitor data. Releasing it
// releases the DA server object, which ends that client's count.
#include <functional>
#include <memory>
#include <set>
#include <vector>

#include "modbus/device_monitor_model.h"
#include "opcda/bus/da_bus_context.h"
#include "opcda/bus/remote_sinks.h"
#include "platform/dbus/bus_object.h"

namespace velk {

class OPCServer;

using DeviceMonitorSource = std::function<std::vector<DeviceMonitorModel>()>;

class DaServerBusObject final : public IBusObject {
  public:
    DaServerBusObject(dabus::DaBusContext context, std::shared_ptr<OPCServer> server,
                      DeviceMonitorSource deviceMonitor);
    // Unadvises the shutdown sinks and hands the server object to the release queue.
    ~DaServerBusObject() override;
    DaServerBusObject(const DaServerBusObject&) = delete;
    DaServerBusObject& operator=(const DaServerBusObject&) = delete;

    std::vector<BusInterface> Interfaces() override;

  private:
    BusInterface Server();
    BusInterface Browse();
    BusInterface ItemProperties();
    BusInterface ConnectionPoints();
    BusInterface DeviceMonitor();

    BusReply AddGroup(BusCall& call);
    BusReply GetStatus();
    BusReply CreateGroupEnumerator(BusCall& call);
    BusReply BrowseOPCItemIDs(BusCall& call);
    BusReply QueryAvailableProperties(BusCall& call);
    BusReply GetItemProperties(BusCall& call);
    BusReply LookupItemIDs(BusCall& call);
    BusReply Advise(const std::string& sinkPath);
    BusReply Unadvise(std::uint32_t cookie);
    BusReply GetDeviceMonitor();

    dabus::DaBusContext context_;
    std::shared_ptr<OPCServer> server_;
    DeviceMonitorSource deviceMonitor_;
    // The shutdown connections advised through this object, which end with it; the server
    // object's connection point owns the sinks.
    std::set<std::uint32_t> shutdownCookies_;
};

}  // namespace velk
