#pragma once
// The bus host's objects: which client owns the object at which path, its export on the
// connection (the bus library's method table, whose calls go to the host's dispatch), and
// its withdrawal, children first, when it is released or its client leaves the bus. An
// object that holds a module lock (an instance) gives it back when withdrawn. A withdrawn
// object is handed to the host's release (or to the caller that withdraws it), never destroyed
// here: its end may wait for threads that wait for the devices. Its method table goes to the
// loop's graveyard. Used on the bus loop thread only (or the owner's thread while no loop runs).
#include <sdbus-c++/sdbus-c++.h>

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/dbus/bus_graveyard.h"
#include "platform/dbus/bus_object.h"
#include "platform/dbus/module_lock.h"

namespace velk {

class BusObjectRegistry {
  public:
    struct Entry {
        std::string owner;
        // Shared with the calls in progress, which may end after the object is withdrawn.
        std::shared_ptr<IBusObject> object;
        // Shared with the answers still due to calls made through it: the bus library checks
        // an answer against the method table it was called through, so the table stays until
        // the last of them has left.
        std::shared_ptr<sdbus::IObject> exported;
    };
    using Dispatch =
        std::function<void(const std::string& path, const BusMethod& method, sdbus::MethodCall&)>;
    using Report = std::function<void(const std::string& line)>;
    // Takes the registry's reference to a withdrawn object.
    using Release = std::function<void(std::shared_ptr<IBusObject> object)>;

    BusObjectRegistry(sdbus::IConnection& connection, IModuleLock& moduleLock,
                      BusGraveyard& graveyard, Dispatch dispatch, Release release, Report report);
    ~BusObjectRegistry();
    BusObjectRegistry(const BusObjectRegistry&) = delete;
    BusObjectRegistry& operator=(const BusObjectRegistry&) = delete;

    // Exports the object at the path with its interfaces and the host's own; false (reported)
    // when the bus refuses the export.
    bool Export(const std::string& path, const std::string& owner,
                std::unique_ptr<IBusObject> object, bool holdsModuleLock);
    // The object at the path; null when there is none.
    const Entry* Find(const std::string& path) const;
    // Withdraws the owner's object at the path and everything below it; false when the owner
    // has no object there. The withdrawn objects go into ended when given, else to the release.
    bool Retire(const std::string& root, const std::string& owner,
                std::vector<std::shared_ptr<IBusObject>>* ended = nullptr);
    // Withdraws every object of one client, or of all clients for null.
    void RetireOwnedBy(const std::string* owner);
    std::size_t Count(const std::string* owner) const;

  private:
    struct Record {
        Entry entry;
        bool holdsModuleLock = false;
    };
    void RetireRecord(const std::string& path, std::vector<std::shared_ptr<IBusObject>>* ended);
    void Withdraw(Record& record, std::vector<std::shared_ptr<IBusObject>>* ended);
    static BusInterface ObjectInterface(std::vector<std::string> names);

    sdbus::IConnection& connection_;
    IModuleLock& moduleLock_;
    BusGraveyard& graveyard_;
    Dispatch dispatch_;
    Release release_;
    Report report_;
    std::map<std::string, std::unique_ptr<Record>> objects_;
};

}  // namespace velk
