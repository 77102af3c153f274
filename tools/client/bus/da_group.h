#pragma once
// One DA group object of the client's instance. The group is taken out of the server's
// table and its object released when this object goes (or by Close, which reports
// failures), so that an interrupted command leaves nothing behind.
#include <sdbus-c++/sdbus-c++.h>

#include <memory>
#include <string>
#include <vector>

#include "tools/client/bus/da_records.h"
#include "tools/client/bus/da_server.h"

namespace velk::client {

class DaGroup {
  public:
    // Adds a group to the server object (AddGroup) with a generated name.
    DaGroup(DaServer& server, bool active, std::uint32_t updateRate, std::uint32_t clientGroup = 1);
    ~DaGroup();
    DaGroup(const DaGroup&) = delete;
    DaGroup& operator=(const DaGroup&) = delete;

    const GroupCreated& Created() const { return created_; }

    AddItemsOutcome AddItems(const std::vector<ItemDefinition>& items);
    ReadOutcome Read(std::uint32_t source, const std::vector<std::uint32_t>& serverHandles);
    WriteOutcome Write(const std::vector<std::uint32_t>& serverHandles,
                       const std::vector<ClientValue>& values);
    std::uint32_t Advise(const std::string& sinkInterface, const std::string& sinkPath);
    void Unadvise(const std::string& sinkInterface, std::uint32_t cookie);

    // RemoveGroup, then Release of the group object.
    void Close();
    // Forgets the group without a call, when the server has left the bus.
    void Abandon() { proxy_.reset(); }

  private:
    DaServer& server_;
    GroupCreated created_;
    std::unique_ptr<sdbus::IProxy> proxy_;
};

}  // namespace velk::client
