#pragma once
// The DA server class on the bus: every instance a client asks for is a new DA server
// object (entered in the application's list, which counts it as a client), wrapped for the
// bus. The services are handed in by the program, so the class builds without the
// acquisition or the document.
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "opc/device_workers.h"
#include "opcda/bus/da_server_bus_object.h"
#include "opcda/bus/release_queue.h"
#include "opcda/opc_server.h"
#include "platform/dbus/bus_object.h"
#include "platform/dbus/module_lock.h"

namespace velk {

struct DaBusServices {
    IClock* clock = nullptr;
    ITagIO* tagIO = nullptr;
    IServerObjectRegistry* registry = nullptr;   // may be null (no application)
    std::function<OTagGroup*()> root;            // the configuration tree; null before it exists
    std::function<DAServerSettings()> settings;  // read at each creation
    DeviceMonitorSource deviceMonitor;
    IWorkerLauncher* launcher = nullptr;  // null: the class's bounded pool of request workers
    // Held by every instance until its DA server object is destroyed, so that a process
    // that ends with its last client does not end before its clients' objects are gone.
    IModuleLock* moduleLock = nullptr;
    ModelLocks* locks = nullptr;  // the document's TreeLock and TagDataLock
};

class DaBusClass final : public IBusClass {
  public:
    DaBusClass(std::string busName, std::string factoryPath, DaBusServices services);
    // Waits a bounded time for the released DA objects to go, then stops the request workers
    // and device readers (a bounded wait). The bus host that serves the class must be gone
    // first.
    ~DaBusClass() override;

    std::string BusName() const override { return busName_; }
    std::string FactoryPath() const override { return factoryPath_; }
    // E_FAIL while there is no configuration tree; E_OUTOFMEMORY when the client connection
    // already holds its limit of DA server objects. The objects of one connection share its
    // bounds on groups, items and requests.
    BusInstanceResult CreateInstance(const BusClient& client,
                                     std::shared_ptr<BusSinkChannel> sinks) override;
    std::vector<std::string> SinkInterfaces() const override;

    // The device readers and the update pool, which the other north interfaces share so that
    // one controller's reads stay on one reader. Stopped with the class.
    DeviceWorkers& Workers() { return *workers_; }

    // Waits up to the time-out for the objects that clients have released to be destroyed;
    // false when one is still being released then (its last client counted, say).
    bool DrainReleases(std::chrono::milliseconds wait = std::chrono::milliseconds(5000)) {
        return releases_.Drain(std::chrono::steady_clock::now() + wait);
    }

  private:
    std::string busName_;
    std::string factoryPath_;
    DaBusServices services_;
    // What one client connection holds, over all its objects.
    struct ClientShare {
        std::weak_ptr<ClientQuota> objects;
        std::weak_ptr<ClientQuota> groups;
        std::weak_ptr<ClientQuota> items;
        std::weak_ptr<ClientQuota> requests;
    };
    std::mutex sharesLock_;
    std::map<std::string, ClientShare> shares_;
    // Before the release queue: the groups it destroys may still use the workers.
    std::shared_ptr<DeviceWorkers> workers_;
    dabus::ReleaseQueue releases_;
};

}  // namespace velk
