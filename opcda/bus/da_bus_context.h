#pragma once
// What the DA server object of one client and its group objects share on the bus: the
// window of the client's sink calls, the queue that releases the DA objects, and which bus object
// stands for which group, so that a group the client already has an object for is handed
// out under the same path.
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "opcda/bus/release_queue.h"
#include "opcda/bus/sink_window.h"

namespace velk {
class OPCGroup;
}  // namespace velk

namespace velk::dabus {

class GroupObjectTable {
  public:
    void Enter(const OPCGroup* group, const void* object, std::string path);
    // Forgets the object (when it is the one entered for its group).
    void Leave(const OPCGroup* group, const void* object);
    std::optional<std::string> PathOf(const OPCGroup* group) const;

  private:
    struct Entry {
        const void* object;
        std::string path;
    };
    mutable std::mutex lock_;
    std::map<const OPCGroup*, Entry> entries_;
};

struct DaBusContext {
    std::shared_ptr<SinkWindow> sinks;
    ReleaseQueue* releases = nullptr;  // outlives every object of the class
    std::shared_ptr<GroupObjectTable> groupObjects = std::make_shared<GroupObjectTable>();
    // Released (on the release queue) after the DA server object; null for none.
    std::shared_ptr<void> moduleLock;
    // The object's unit of its connection's bound on DA server objects.
    std::shared_ptr<void> place;
};

}  // namespace velk::dabus
