#pragma once
// The bus host: owns the connection to the message bus and the thread that serves it,
// holds the well-known names of the server classes, exports one factory object per class
// and one instance object per client request, remembers which client (unique bus name)
// owns which objects and releases them all when the client leaves the bus, and makes the
// asynchronous callbacks to client sinks. Every live instance holds one module lock.
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "platform/dbus/bus_object.h"
#include "platform/dbus/module_lock.h"

namespace velk {

// Which bus to connect to.
struct BusTarget {
    enum class Kind { Session, System, Address };
    Kind kind = Kind::Session;
    std::string address;  // for Kind::Address, e.g. "unix:path=/tmp/bus"

    static BusTarget Session() { return {Kind::Session, {}}; }
    static BusTarget System() { return {Kind::System, {}}; }
    static BusTarget At(std::string address) { return {Kind::Address, std::move(address)}; }
};

// The interface of every class factory object.
inline constexpr std::string_view kFactoryInterface = "VELK.ClassFactory";

class BusHost {
  public:
    using Log = std::function<void(const std::string& line)>;

    // The module lock is taken once per live instance; the log receives the host's own
    // failures (a reply that does not match its signature, a lost bus connection).
    explicit BusHost(IModuleLock& moduleLock, Log log = {});
    ~BusHost();
    BusHost(const BusHost&) = delete;
    BusHost& operator=(const BusHost&) = delete;

    // Connects and subscribes to the bus's name-owner changes; false with the reason when
    // the bus cannot be reached.
    bool Connect(const BusTarget& target, std::string& reason);
    bool IsConnected() const;
    // Starts the thread that serves the bus; false when not connected or already started.
    bool Start();
    // Called on the bus thread when the connection to the bus is lost (the daemon ended or
    // closed it), after every object has been withdrawn. Set before Start.
    void OnConnectionLost(std::function<void()> handler);
    // Withdraws every class and object (their module locks are released, pending sink
    // calls complete with RPC_E_DISCONNECTED), ends the thread and closes the connection.
    // The calls in progress get 2500 ms to end; one still running then (a device exchange
    // with a silent controller) is left to end on its own. Stops once: a further call, from
    // any thread, returns at once. Within 4000 ms in all.
    void Stop();
    // True while a call that Stop gave up on is still running; whatever it uses (the host
    // and the server objects) must then live until the process ends. The host itself stays
    // alive past its destructor in that case.
    bool LeftCallsRunning() const;

    // Exports the class's factory object and requests its well-known name; false with the
    // reason when the name is owned by another process or the bus refuses it.
    bool AddClass(IBusClass& busClass, std::string& reason);
    // Withdraws every class: names, factories and all objects.
    void RemoveClasses();

    // The connection's unique bus name ("" when not connected).
    std::string UniqueName() const;
    // Live objects (instances and their children), of all clients or of one client.
    std::size_t ObjectCount() const;
    std::size_t ObjectCount(const std::string& client) const;
    // Sink calls started and not yet completed.
    std::size_t PendingSinkCalls() const;

  private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace velk
