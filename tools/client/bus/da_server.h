#pragma once
// The client's own DA server object (an instance of VELK.ModbusOPCServer): created through
// the class factory, released when this object goes. Every method is one bus call; a
// failure throws BusCallError.
#include <sdbus-c++/sdbus-c++.h>

#include <memory>
#include <string>
#include <vector>

#include "tools/client/bus/bus_session.h"
#include "tools/client/bus/da_records.h"

namespace velk::client {

inline constexpr const char* kDaBusName = "VELK.ModbusOPCServer";
inline constexpr const char* kDaFactoryPath = "/VELK/ModbusOPCServer";

class DaServer {
  public:
    // Creates the instance. Throws ClientFailure (kExitNoServer) when the server is not
    // running and cannot be started, BusCallError for a refusal of the factory.
    explicit DaServer(BusSession& session);
    ~DaServer();
    DaServer(const DaServer&) = delete;
    DaServer& operator=(const DaServer&) = delete;

    const std::string& InstancePath() const { return path_; }
    BusSession& Session() { return session_; }

    ServerStatus GetStatus();
    std::uint32_t QueryOrganization();
    void ChangeBrowsePosition(std::uint32_t direction, const std::string& name);
    std::vector<std::string> BrowseItemIds(std::uint32_t filterType);
    std::string GetItemId(const std::string& name);
    std::vector<PropertyInfo> QueryAvailableProperties(const std::string& itemId);
    std::vector<PropertyValue> GetItemProperties(const std::string& itemId,
                                                 const std::vector<std::uint32_t>& ids);
    GroupCreated AddGroup(const std::string& name, bool active, std::uint32_t updateRate,
                          std::uint32_t clientGroup);
    void RemoveGroup(std::uint32_t serverHandle);
    std::uint32_t Advise(const std::string& sinkInterface, const std::string& sinkPath);
    void Unadvise(const std::string& sinkInterface, std::uint32_t cookie);
    std::vector<DeviceMonitorEntry> GetDeviceMonitor();

    // Releases the instance now (the destructor does it otherwise, ignoring failures).
    void Release();
    // Forgets the instance without a call, when the server has left the bus (a call could
    // start a new server by bus activation).
    void Abandon() { proxy_.reset(); }

  private:
    BusSession& session_;
    std::string path_;
    std::unique_ptr<sdbus::IProxy> proxy_;
};

}  // namespace velk::client
