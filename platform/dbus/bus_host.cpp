// The bus host: the owner that wires its parts together, holds the connection to the bus and
// serves it on the loop thread, and starts and stops them in order.
//
// Parts (platform/dbus/): the loop tasks (BusLoopTasks: the inbox of tasks and sink calls,
// the wake, Invoke, the graveyard), the dispatcher (BusDispatcher: class factories, instance
// creation, method dispatch), the pending replies (BusPendingReplies), the client workers
// (BusClientWorkers: per-client call threads, the release worker, the abandoned calls), the
// caller lookup (BusCallerLookup: process ids, refusal trace), the object registry
// (BusObjectRegistry) and the sink calls in flight (BusSinkCalls).
//
// Threads: the loop thread owns the connection, the registry, the sink calls, the pending
// replies, the workers' table, the caller lookup and the dispatcher's classes (the owner's
// thread does, before the start and after the loop has ended). The clients' workers run
// handlers and the making of instances, and reach the loop only through the loop tasks
// (Post, Invoke). Any thread may send a sink call, through the sink gate.
//
// Locks, each the part's own and held around its own data only (no task, handler or
// callback runs under any of them), in this order:
//   1. the sink gate's mutex (SinkGate::mutex) before
//   2. the loop tasks' mutex (BusLoopTasks), taken when a sink call is queued;
//   the abandoned workers' mutex (BusClientWorkers) is taken alone.
// None of them is held while a lock of the server objects is taken.
#include "platform/dbus/bus_host.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/dbus/bus_caller_lookup.h"
#include "platform/dbus/bus_client_workers.h"
#include "platform/dbus/bus_dispatcher.h"
#include "platform/dbus/bus_loop_tasks.h"
#include "platform/dbus/bus_object_registry.h"
#include "platform/dbus/bus_pending_replies.h"
#include "platform/dbus/bus_sink_calls.h"
#include "platform/worker_thread.h"

namespace velk {
namespace {

constexpr const char* kBusService = "org.freedesktop.DBus";
constexpr const char* kBusPath = "/org/freedesktop/DBus";
// Sink calls one client may have unanswered; further calls fail at once as timed out.
constexpr std::size_t kMaxPendingSinkCalls = 64;
// How long a stop waits for the calls in progress, and then for the loop thread: together
// well inside the 5000 ms that the application waits for the thread that stops the host.
constexpr std::chrono::milliseconds kCallDrainWait{2500};
constexpr std::chrono::milliseconds kLoopStopWait{1500};
// The whole stop, within which the objects withdrawn last are released.
constexpr std::chrono::milliseconds kStopWait{4000};

// True unless the address is a single socket path that nothing listens on. The bus library
// loses its half-made connection when it fails on an address, so the plain case is tried here
// first.
bool MayBeListening(const std::string& address) {
    constexpr std::string_view kPrefix = "unix:path=";
    if (address.compare(0, kPrefix.size(), kPrefix) != 0 || address.find(';') != std::string::npos)
        return true;
    std::string path = address.substr(kPrefix.size());
    path = path.substr(0, path.find(','));
    sockaddr_un socketAddress{};
    if (path.empty() || path.find('%') != std::string::npos ||
        path.size() >= sizeof socketAddress.sun_path) {
        return true;  // escaped or unusual: left to the bus library
    }
    socketAddress.sun_family = AF_UNIX;
    std::memcpy(socketAddress.sun_path, path.c_str(), path.size() + 1);
    const int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (probe < 0) return true;
    const bool listening = connect(probe, reinterpret_cast<const sockaddr*>(&socketAddress),
                                   sizeof socketAddress) == 0;
    close(probe);
    return listening;
}

std::unique_ptr<sdbus::IConnection> OpenConnection(const BusTarget& target) {
    if (target.kind == BusTarget::Kind::Address && !MayBeListening(target.address)) {
        throw sdbus::Error("org.freedesktop.DBus.Error.NoServer",
                           "no bus listens at " + target.address);
    }
    switch (target.kind) {
        case BusTarget::Kind::System:
            return sdbus::createSystemBusConnection();
        case BusTarget::Kind::Address:
            return sdbus::createSessionBusConnectionWithAddress(target.address);
        default:
            return sdbus::createSessionBusConnection();
    }
}

}  // namespace

class BusHost::Impl {
  public:
    Impl(IModuleLock& moduleLock, Log log) : moduleLock_(moduleLock), log_(std::move(log)) {
        gate_->tasks = &tasks_;
    }

    ~Impl() { Stop(); }

    bool Connect(const BusTarget& target, std::string& reason) {
        if (connection_) return true;
        try {
            connection_ = OpenConnection(target);
            busProxy_ = sdbus::createProxy(*connection_, kBusService, kBusPath);
            busProxy_->registerSignalHandler(
                kBusService, "NameOwnerChanged",
                [this](sdbus::Signal& signal) { OnNameOwnerChanged(signal); });
            busProxy_->finishRegistration();
            uniqueName_ = connection_->getUniqueName();
            sinkCalls_ = std::make_unique<BusSinkCalls>(*connection_, tasks_.Graveyard(),
                                                        kMaxPendingSinkCalls);
            registry_ = std::make_unique<BusObjectRegistry>(
                *connection_, moduleLock_, tasks_.Graveyard(),
                [this](const std::string& path, const BusMethod& method, sdbus::MethodCall& call) {
                    dispatcher_.Dispatch(path, method, call);
                },
                [this](std::shared_ptr<IBusObject> object) { Release(std::move(object)); },
                [this](const std::string& line) { Report(line); });
        } catch (const sdbus::Error& error) {
            sinkCalls_.reset();
            busProxy_.reset();
            connection_.reset();
            reason = error.getMessage().empty() ? error.getName() : error.getMessage();
            return false;
        }
        callers_.Attach(busProxy_.get());
        dispatcher_.Attach(connection_.get(), registry_.get());
        return true;
    }

    bool IsConnected() const { return connection_ != nullptr; }
    void OnConnectionLost(std::function<void()> handler) { connectionLost_ = std::move(handler); }

    bool Start() {
        if (!connection_ || loop_.IsStarted() || !tasks_.Usable() || stopState_ != kRunning)
            return false;
        // Started before any client is served: a client's departure needs no new thread.
        if (!workers_.StartReleases()) return false;
        stopping_ = false;
        tasks_.Open();
        if (loop_.Start([this](MessageQueue&) {
                Loop();
                return 0;
            })) {
            return true;
        }
        tasks_.LoopEnded();  // the owner's thread keeps the parts, as before the start
        return false;
    }

    // One owner stops the host, once: a second call (the owner's destructor after its own
    // stop, or another thread) returns at once. The calls in progress get a bounded time to
    // end; a call still running then is left to end on its own, with what it uses alive.
    void Stop() {
        int expected = kRunning;
        if (!stopState_.compare_exchange_strong(expected, kStopping)) return;
        const auto deadline = std::chrono::steady_clock::now() + kStopWait;
        {
            std::lock_guard lock(gate_->mutex);
            gate_->tasks = nullptr;  // later sink calls complete as disconnected at once
        }
        if (loop_.IsStarted()) {
            // The calls already received are answered before the objects go (the last
            // release, whose unlock ends an embedded server, still gets its reply); calls
            // that arrive meanwhile are refused.
            BusClientWorkers::Workers draining;
            tasks_.RunOnLoop([&] {
                dispatcher_.Close();
                draining = workers_.Take();
            });
            workers_.Drain(draining, kCallDrainWait);
            tasks_.Post([this] {
                WithdrawAll();
                stopping_ = true;
            });
            if (!loop_.Join(kLoopStopWait)) {
                // The loop thread is stuck in a task: it still owns the connection and the
                // objects, so nothing of this host may go.
                Report("the bus loop did not end; the host is left to the end of the process");
                loopAbandoned_ = true;
                stopState_ = kStopped;
                return;
            }
        }
        tasks_.LoopEnded();
        workers_.DrainRest(kCallDrainWait);
        WithdrawAll();
        tasks_.FailQueued();
        tasks_.ClearGraveyard();
        workers_.DrainReleases(std::max(std::chrono::duration_cast<std::chrono::milliseconds>(
                                            deadline - std::chrono::steady_clock::now()),
                                        std::chrono::milliseconds(0)));
        dispatcher_.Attach(nullptr, nullptr);
        callers_.Attach(nullptr);
        registry_.reset();
        sinkCalls_.reset();
        busProxy_.reset();
        tasks_.ClearGraveyard();  // what the registry and the sink calls left, before the bus
        connection_.reset();
        stopState_ = kStopped;
    }

    // True while a thread that the stop gave up on may still use this host: it must then
    // stay alive until the process ends.
    bool LeftCallsRunning() const {
        if (stopState_ == kStopping || loopAbandoned_) return true;
        return workers_.AbandonedStillRunning();
    }

    bool AddClass(IBusClass& busClass, std::string& reason) {
        bool ok = false;
        if (!tasks_.Invoke([&] { ok = dispatcher_.AddClass(busClass, reason); }))
            reason = "the bus host has stopped";
        return ok;
    }

    void RemoveClasses() {
        tasks_.Invoke([this] { WithdrawAll(); });
    }

    std::string UniqueName() const { return uniqueName_; }

    std::size_t ObjectCount(const std::string* client) {
        std::size_t count = 0;
        tasks_.Invoke([&] { count = registry_ ? registry_->Count(client) : 0; });
        return count;
    }

    std::size_t PendingSinkCalls() {
        std::size_t count = 0;
        tasks_.Invoke([&] { count = sinkCalls_ ? sinkCalls_->Count() : 0; });
        return count;
    }

  private:
    enum : int { kRunning, kStopping, kStopped };

    // Where every client's sink channel sends; emptied by the stop, after which a sink call
    // completes as disconnected on its caller's thread.
    struct SinkGate {
        std::mutex mutex;
        BusLoopTasks* tasks = nullptr;
    };

    void Loop() {
        tasks_.EnterLoop();
        while (!stopping_) {
            if (!ProcessBus()) break;
            tasks_.Run(*sinkCalls_);
            workers_.Reap();
            if (stopping_) break;
            const sdbus::IConnection::PollData data = connection_->getEventLoopPollData();
            tasks_.WaitForBusOrWake(data.fd, data.events, data.getPollTimeout());
        }
        tasks_.CloseInbox();
        tasks_.Run(*sinkCalls_);  // a stop that raced the end of the loop still withdraws
        replies_.Clear();
    }

    // Handles everything the bus has for us; false when the connection is lost.
    bool ProcessBus() {
        try {
            while (connection_->processPendingRequest()) tasks_.ClearGraveyard();
            tasks_.ClearGraveyard();
        } catch (const sdbus::Error& error) {
            Report("bus connection lost: " + error.getMessage());
            WithdrawObjectsOnly();
            if (connectionLost_) connectionLost_();
            return false;
        }
        return true;
    }

    // A withdrawn object ends on a thread of its own, never on the loop: its end may wait
    // for an update or delivery thread that waits for a device or a client. What a client's
    // own release withdraws ends on that client's worker (the dispatcher's call scope); what
    // goes with a departed client or the host's stop, on the release worker; what goes while
    // no loop runs (before the start, at the end of a stop), here.
    void Release(std::shared_ptr<IBusObject> object) {
        if (!object || !tasks_.LoopActive() || !tasks_.OnLoopThread()) return;
        workers_.Release(std::move(object));
    }

    void OnNameOwnerChanged(sdbus::Signal& signal) {
        std::string name, oldOwner, newOwner;
        signal >> name >> oldOwner >> newOwner;
        // A unique name that loses its owner is a connection that closed or crashed.
        if (name.empty() || name[0] != ':' || !newOwner.empty()) return;
        ReleaseClient(name);
    }

    void ReleaseClient(const std::string& client) {
        callers_.Forget(client);
        workers_.End(client);
        replies_.DropFor(client);
        if (sinkCalls_) sinkCalls_->FailFor(&client);
        if (registry_) registry_->RetireOwnedBy(&client);
    }

    void WithdrawObjectsOnly() {
        if (sinkCalls_) sinkCalls_->FailFor(nullptr);
        if (registry_) registry_->RetireOwnedBy(nullptr);
    }

    void WithdrawAll() {
        WithdrawObjectsOnly();
        dispatcher_.WithdrawClasses();
    }

    void Report(const std::string& line) {
        if (log_) log_(line);
    }

    IModuleLock& moduleLock_;
    Log log_;
    std::function<void()> connectionLost_;
    std::atomic<bool> stopping_{false};  // the loop ends after its current round
    std::atomic<int> stopState_{kRunning};
    std::atomic<bool> loopAbandoned_{false};

    // The parts, which live as long as the host: a call that the stop abandoned may still
    // reach them (and find the loop gone).
    BusLoopTasks tasks_{[this] { return stopState_ == kRunning && connection_ != nullptr; }};
    BusPendingReplies replies_{tasks_.Graveyard(),
                               [this](const std::string& line) { Report(line); }};
    BusClientWorkers workers_{[this](const std::string& line) { Report(line); }};
    BusCallerLookup callers_{[this](const std::string& line) { Report(line); }};
    std::shared_ptr<SinkGate> gate_ = std::make_shared<SinkGate>();
    BusDispatcher dispatcher_{{tasks_, replies_, workers_, callers_, MakeSender(gate_)}};

    // From the connect to the end of the stop.
    std::unique_ptr<sdbus::IConnection> connection_;
    std::unique_ptr<sdbus::IProxy> busProxy_;
    std::unique_ptr<BusSinkCalls> sinkCalls_;      // goes before the connection
    std::unique_ptr<BusObjectRegistry> registry_;  // goes before the connection
    std::string uniqueName_;

    // Last: started when everything else is in place, ended before it goes.
    WorkerThread loop_{"BusHost"};

    static std::shared_ptr<const BusSinkChannel::Sender> MakeSender(
        std::shared_ptr<SinkGate> gate) {
        return std::make_shared<const BusSinkChannel::Sender>(
            [gate](const std::string& client, BusSinkCall call, BusSinkCompletion done) {
                BusSinkCalls::Queued queued{client, std::move(call), std::move(done)};
                bool posted = false;
                {
                    std::lock_guard lock(gate->mutex);
                    if (gate->tasks) posted = gate->tasks->PostSinkCall(queued);
                }
                if (!posted && queued.done) queued.done(RPC_E_DISCONNECTED, {});
            });
    }
};

BusHost::BusHost(IModuleLock& moduleLock, Log log)
    : impl_(std::make_unique<Impl>(moduleLock, std::move(log))) {}
BusHost::~BusHost() {
    impl_->Stop();
    // A thread that the stop gave up on (a call stuck in a device exchange) may still use the
    // host: it is left alive for the rest of the process rather than destroyed under it.
    if (impl_->LeftCallsRunning()) static_cast<void>(impl_.release());
}
bool BusHost::Connect(const BusTarget& target, std::string& reason) {
    return impl_->Connect(target, reason);
}
bool BusHost::IsConnected() const { return impl_->IsConnected(); }
bool BusHost::Start() { return impl_->Start(); }
void BusHost::OnConnectionLost(std::function<void()> handler) {
    impl_->OnConnectionLost(std::move(handler));
}
void BusHost::Stop() { impl_->Stop(); }
bool BusHost::AddClass(IBusClass& busClass, std::string& reason) {
    return impl_->AddClass(busClass, reason);
}
void BusHost::RemoveClasses() { impl_->RemoveClasses(); }
std::string BusHost::UniqueName() const { return impl_->UniqueName(); }
std::size_t BusHost::ObjectCount() const { return impl_->ObjectCount(nullptr); }
std::size_t BusHost::ObjectCount(const std::string& client) const {
    return impl_->ObjectCount(&client);
}
std::size_t BusHost::PendingSinkCalls() const { return impl_->PendingSinkCalls(); }
bool BusHost::LeftCallsRunning() const { return impl_->LeftCallsRunning(); }

}  // namespace velk
