#pragma once
// The server classes on the bus and the calls to their objects: each class's factory and
// well-known name, the making of a client's instance, and the dispatch of a method call. The
// loop reads a call's arguments within the limits of one call, holds the call and hands the
// handler (or the making of the instance) to the caller's worker, so that a slow call holds
// up its own client only; the answer is sent back on the loop. A handler reaches the host
// through its call scope: exporting a child object, withdrawing an object, the client's sinks.
//
// Used on the bus loop thread, except the jobs it queues on the client workers; those reach
// the loop through the loop tasks only. It lives as long as the host: a job that the stop
// abandoned may still run, and then finds the loop gone.
#include <sdbus-c++/sdbus-c++.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/dbus/bus_caller_lookup.h"
#include "platform/dbus/bus_client_workers.h"
#include "platform/dbus/bus_loop_tasks.h"
#include "platform/dbus/bus_object.h"
#include "platform/dbus/bus_object_registry.h"
#include "platform/dbus/bus_pending_replies.h"
#include "platform/dbus/bus_sink_channel.h"

namespace velk {

class BusDispatcher {
  public:
    struct Parts {
        BusLoopTasks& tasks;
        BusPendingReplies& replies;
        BusClientWorkers& workers;
        BusCallerLookup& callers;
        // The host's sending of sink calls, shared by every client's channel.
        std::shared_ptr<const BusSinkChannel::Sender> sinks;
    };

    explicit BusDispatcher(Parts parts);
    BusDispatcher(const BusDispatcher&) = delete;
    BusDispatcher& operator=(const BusDispatcher&) = delete;

    // The connection and its objects, from the connect until the stop has ended the loop.
    void Attach(sdbus::IConnection* connection, BusObjectRegistry* registry);

    // Exports the class's factory and requests its name; false with the reason when refused.
    bool AddClass(IBusClass& busClass, std::string& reason);
    // Gives up every class's name and factory (their objects are the registry's).
    void WithdrawClasses();
    // The host is stopping: new calls and instance requests are refused as such.
    void Close() { closing_ = true; }

    // A call to an exported object (the registry's dispatch).
    void Dispatch(const std::string& path, const BusMethod& method, sdbus::MethodCall& call);

  private:
    struct ClassRecord {
        IBusClass* busClass = nullptr;
        std::string busName;
        std::string factoryPath;
        unsigned nextInstance = 1;
        bool nameOwned = false;
        std::shared_ptr<sdbus::IObject> factory;
    };
    class CallScope;

    void CreateInstance(ClassRecord& cls, sdbus::MethodCall& call);
    void MakeInstance(std::uint64_t id, const BusClient& who, IBusClass& busClass);
    std::string ExportInstance(IBusClass& busClass, const std::string& client,
                               std::unique_ptr<IBusObject> object);
    const BusObjectRegistry::Entry* CheckedObject(const std::string& path,
                                                  const sdbus::MethodCall& call);
    std::shared_ptr<BusSinkChannel> ChannelFor(const std::string& client) const;

    Parts parts_;
    std::atomic<bool> closing_{false};
    // Loop thread only.
    sdbus::IConnection* connection_ = nullptr;
    BusObjectRegistry* registry_ = nullptr;
    std::vector<std::unique_ptr<ClassRecord>> classes_;
    unsigned nextChild_ = 1;
};

}  // namespace velk
