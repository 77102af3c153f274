#include "platform/dbus/bus_host.h"

#include <poll.h>
#include <sdbus-c++/sdbus-c++.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <future>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/dbus/bus_client_worker.h"
#include "platform/dbus/bus_errors.h"
#include "platform/dbus/bus_marshal.h"
#include "platform/dbus/bus_object_registry.h"
#include "platform/dbus/bus_sink_calls.h"
#include "platform/trim_memory.h"
#include "platform/worker_thread.h"

namespace velk {
namespace {

constexpr const char* kBusService = "org.freedesktop.DBus";
// Sink calls one client may have unanswered; further calls fail at once as timed out.
constexpr std::size_t kMaxPendingSinkCalls = 64;
// How long a stop waits for the calls in progress, and then for the loop thread: together
// well inside the 5000 ms that the application waits for the thread that stops the host.
constexpr std::chrono::milliseconds kCallDrainWait{2500};
constexpr std::chrono::milliseconds kLoopStopWait{1500};
// The whole stop, within which the objects withdrawn last are released.
constexpr std::chrono::milliseconds kStopWait{4000};
constexpr const char* kBusPath = "/org/freedesktop/DBus";
// How long a question to the bus itself (a client's process id) may take.
constexpr std::chrono::milliseconds kBusQueryTimeout{2000};
constexpr std::chrono::minutes kRefusalTracePeriod{1};

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

void SendError(const sdbus::MethodCall& call, HRESULT code, const std::string& description) {
    try {
        call.createErrorReply(sdbus::Error(std::string(kHresultErrorName),
                                           FormatHresultMessage(code, description)))
            .send();
    } catch (const sdbus::Error&) {
        // The caller left before its answer; nothing to tell.
    }
}

bool IsPathElement(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text) {
        if (!std::isalnum(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

}  // namespace

class BusHost::Impl {
  public:
    Impl(IModuleLock& moduleLock, Log log) : moduleLock_(moduleLock), log_(std::move(log)) {
        wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        gate_ = std::make_shared<SinkGate>();
        gate_->impl = this;
        auto gate = gate_;
        sender_ = std::make_shared<const BusSinkChannel::Sender>(
            [gate](const std::string& client, BusSinkCall call, BusSinkCompletion done) {
                bool posted = false;
                {
                    std::lock_guard lock(gate->mutex);
                    if (gate->impl) posted = gate->impl->QueueSinkCall(client, call, done);
                }
                if (!posted && done) done(RPC_E_DISCONNECTED, {});
            });
    }

    ~Impl() {
        Stop();
        if (wakeFd_ >= 0) close(wakeFd_);
    }

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
            sinkCalls_ = std::make_unique<BusSinkCalls>(*connection_, kMaxPendingSinkCalls);
            registry_ = std::make_unique<BusObjectRegistry>(
                *connection_, moduleLock_,
                [this](const std::string& path, const BusMethod& method, sdbus::MethodCall& call) {
                    Dispatch(path, method, call);
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
        return true;
    }

    bool IsConnected() const { return connection_ != nullptr; }
    void OnConnectionLost(std::function<void()> handler) { connectionLost_ = std::move(handler); }

    bool Start() {
        if (!connection_ || loop_.IsStarted() || wakeFd_ < 0 || stopState_ != kRunning)
            return false;
        stopping_ = false;
        {
            std::lock_guard lock(tasksMutex_);
            running_ = true;
        }
        loopActive_ = true;  // before the thread exists: its handlers ask for it
        loop_.Start([this](MessageQueue&) {
            Loop();
            return 0;
        });
        return true;
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
            gate_->impl = nullptr;  // later sink calls complete as disconnected at once
        }
        if (loop_.IsStarted()) {
            // The calls already received are answered before the objects go (the last
            // release, whose unlock ends an embedded server, still gets its reply); calls
            // that arrive meanwhile are refused.
            std::vector<std::unique_ptr<BusClientWorker>> draining;
            RunOnLoop([&] {
                closing_ = true;
                draining = TakeWorkers();
            });
            DrainWorkers(draining, kCallDrainWait);
            Post([this] {
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
        loopActive_ = false;
        {
            std::lock_guard lock(tasksMutex_);
            running_ = false;
        }
        JoinWorkers();
        WithdrawAll();
        FailQueuedSinkCalls();
        ClearGraveyard();
        if (releaser_) {
            std::vector<std::unique_ptr<BusClientWorker>> last;
            last.push_back(std::move(releaser_));
            DrainWorkers(last, std::max(std::chrono::duration_cast<std::chrono::milliseconds>(
                                            deadline - std::chrono::steady_clock::now()),
                                        std::chrono::milliseconds(0)));
        }
        registry_.reset();
        sinkCalls_.reset();
        if (busProxy_) busProxy_.reset();
        connection_.reset();
        stopState_ = kStopped;
    }

    // True while a thread that the stop gave up on may still use this host: it must then
    // stay alive until the process ends.
    bool LeftCallsRunning() const {
        if (stopState_ == kStopping || loopAbandoned_) return true;
        std::lock_guard lock(abandonedMutex_);
        for (const auto& worker : abandoned_) {
            if (!worker->Finished()) return true;
        }
        return false;
    }

    bool AddClass(IBusClass& busClass, std::string& reason) {
        bool ok = false;
        if (!Invoke([&] { ok = AddClassNow(busClass, reason); }))
            reason = "the bus host has stopped";
        return ok;
    }

    void RemoveClasses() {
        Invoke([this] { WithdrawAll(); });
    }

    std::string UniqueName() const { return uniqueName_; }

    std::size_t ObjectCount(const std::string* client) {
        std::size_t count = 0;
        Invoke([&] { count = registry_ ? registry_->Count(client) : 0; });
        return count;
    }

    std::size_t PendingSinkCalls() {
        std::size_t count = 0;
        Invoke([&] { count = sinkCalls_ ? sinkCalls_->Count() : 0; });
        return count;
    }

  private:
    enum : int { kRunning, kStopping, kStopped };

    struct SinkGate {
        std::mutex mutex;
        Impl* impl = nullptr;
    };

    // A call waiting for its handler on a client's worker; its message stays on the loop
    // thread, as the bus library's messages are not shared across threads. The method table
    // it came through stays with it: the bus library checks the answer against that table,
    // and refuses to send it (ENOMSG) once the table has gone with a released object.
    struct PendingReply {
        std::string caller;
        sdbus::MethodCall call;
        std::shared_ptr<sdbus::IObject> via;
    };

    struct ClassRecord {
        IBusClass* busClass = nullptr;
        std::string busName;
        std::string factoryPath;
        unsigned nextInstance = 1;
        bool nameOwned = false;
        std::shared_ptr<sdbus::IObject> factory;
    };

    class CallScope final : public IBusCallScope {
      public:
        CallScope(Impl& impl, std::string caller, std::string path)
            : impl_(impl), caller_(std::move(caller)), path_(std::move(path)) {}
        const std::string& Caller() const override { return caller_; }
        const std::string& ObjectPath() const override { return path_; }
        std::string ExportChild(std::string_view kind, std::unique_ptr<IBusObject> child) override {
            if (!IsPathElement(kind) || !child) return {};
            std::string path;
            impl_.Invoke([&] {
                const std::string wanted =
                    path_ + "/" + std::string(kind) + std::to_string(impl_.nextChild_++);
                if (impl_.registry_->Export(wanted, caller_, std::move(child), false))
                    path = wanted;
            });
            return path;
        }
        // What goes with the object (its children) ends here, on the caller's worker, before
        // the call is answered: the class's own tables are then up to date for the caller's
        // next call.
        bool RemoveObject(const std::string& path) override {
            bool removed = false;
            std::vector<std::shared_ptr<IBusObject>> ended;
            impl_.Invoke([&] {
                impl_.collecting_ = &ended;
                removed = impl_.registry_->Retire(path, caller_);
                impl_.collecting_ = nullptr;
            });
            ended.clear();
            return removed;
        }
        std::shared_ptr<BusSinkChannel> Sinks() const override { return impl_.ChannelFor(caller_); }

      private:
        Impl& impl_;
        std::string caller_;
        std::string path_;
    };

    // ---- the loop thread ----

    void Loop() {
        loopThread_ = std::this_thread::get_id();
        while (!stopping_) {
            if (!ProcessBus()) break;
            RunTasks();
            ReapWorkers();
            if (stopping_) break;
            sdbus::IConnection::PollData data = connection_->getEventLoopPollData();
            pollfd fds[2] = {{data.fd, data.events, 0}, {wakeFd_, POLLIN, 0}};
            poll(fds, 2, data.getPollTimeout());
            std::uint64_t count = 0;
            while (read(wakeFd_, &count, sizeof count) > 0) {
            }
        }
        {
            std::lock_guard lock(tasksMutex_);
            running_ = false;
        }
        RunTasks();  // a stop that raced the end of the loop still withdraws
        pendingReplies_.clear();
    }

    // Handles everything the bus has for us; false when the connection is lost.
    bool ProcessBus() {
        try {
            while (connection_->processPendingRequest()) ClearGraveyard();
            ClearGraveyard();
        } catch (const sdbus::Error& error) {
            Report("bus connection lost: " + error.getMessage());
            WithdrawObjectsOnly();
            if (connectionLost_) connectionLost_();
            return false;
        }
        return true;
    }

    void ClearGraveyard() {
        if (registry_) registry_->ClearRetired();
        if (sinkCalls_) sinkCalls_->ClearRetired();
    }

    bool Post(std::function<void()> task) {
        {
            std::lock_guard lock(tasksMutex_);
            if (!running_) return false;
            tasks_.push_back(std::move(task));
        }
        Wake();
        return true;
    }

    void Wake() {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(wakeFd_, &one, sizeof one);
    }

    void RunTasks() {
        std::vector<std::function<void()>> tasks;
        std::vector<BusSinkCalls::Queued> sinks;
        {
            std::lock_guard lock(tasksMutex_);
            tasks.swap(tasks_);
            sinks.swap(queuedSinks_);
        }
        // Sink calls first: a task queued after a call was queued sees it started.
        for (auto& sink : sinks) sinkCalls_->Start(std::move(sink));
        for (auto& task : tasks) task();
        ClearGraveyard();
    }

    // Runs the work on the loop thread and waits for it; at once when called on the loop
    // thread, or by the owner before the loop has started. False when the loop ended before
    // the work ran: a call that outlives the stop finds nothing (while the stop drains the
    // calls in progress, the loop still serves them).
    bool Invoke(const std::function<void()>& work) {
        if (std::this_thread::get_id() == loopThread_) {
            work();
            return true;
        }
        if (!loopActive_ && stopState_ != kRunning) return false;
        return RunOnLoop(work);
    }

    bool RunOnLoop(const std::function<void()>& work) {
        if (!loopActive_) {
            // Only the owner before the start runs work here; once the host stops, nobody.
            if (!connection_ || stopState_ != kRunning) return false;
            work();
            return true;
        }
        auto done = std::make_shared<std::promise<void>>();
        std::future<void> finished = done->get_future();
        if (!Post([&work, done] {
                work();
                done->set_value();
            })) {
            return false;
        }
        try {
            finished.get();
        } catch (const std::future_error&) {
            return false;
        }
        return true;
    }

    // ---- classes and objects ----

    bool AddClassNow(IBusClass& busClass, std::string& reason) {
        auto record = std::make_unique<ClassRecord>();
        record->busClass = &busClass;
        record->busName = busClass.BusName();
        record->factoryPath = busClass.FactoryPath();
        ClassRecord* cls = record.get();
        try {
            record->factory = sdbus::createObject(*connection_, record->factoryPath);
            record->factory->registerMethod(
                std::string(kFactoryInterface), "CreateInstance", "", {}, "o", {"instance"},
                [this, cls](sdbus::MethodCall call) { CreateInstance(*cls, call); });
            record->factory->finishRegistration();
            // The factory is in place before the name is ours, so that a call queued by bus
            // activation finds it.
            connection_->requestName(record->busName);
            record->nameOwned = true;
        } catch (const sdbus::Error& error) {
            reason = "cannot serve " + record->busName + ": " +
                     (error.getMessage().empty() ? error.getName() : error.getMessage());
            return false;
        }
        classes_.push_back(std::move(record));
        return true;
    }

    // The class makes the instance on the caller's worker, not here: making a server object
    // takes the server list and the client count, which a client's departure may hold while
    // device threads finish a slow exchange, and the loop thread never waits for that.
    void CreateInstance(ClassRecord& cls, sdbus::MethodCall& call) {
        if (closing_) {
            SendError(call, CO_E_SERVER_STOPPING, "server stopping");
            return;
        }
        const std::string client = call.getSender();
        const std::uint64_t id = HoldReply(client, std::move(call), cls.factory);
        IBusClass* busClass = cls.busClass;
        // Who the client is (its process id, asked of the bus once per connection) is known
        // before its instance is made; the loop does not wait for the bus's answer.
        WithClient(client, [this, id, busClass](const BusClient& who) {
            if (closing_) {  // the host began to stop while the bus was asked
                if (std::optional<sdbus::MethodCall> call = TakeReply(id))
                    SendError(*call, CO_E_SERVER_STOPPING, "server stopping");
                return;
            }
            WorkerFor(who.name).Push(
                [this, id, who, busClass] { MakeInstance(id, who, *busClass); });
        });
    }

    // On the client's worker: makes and exports the instance, then answers on the loop.
    void MakeInstance(std::uint64_t id, const BusClient& who, IBusClass& busClass) {
        BusInstanceResult created = busClass.CreateInstance(who, ChannelFor(who.name));
        HRESULT failure = S_OK;
        std::string description;
        std::string path;
        if (Failed(created.result) || !created.object) {
            failure = Failed(created.result) ? created.result : E_FAIL;
            description = "instance not created";
        } else {
            Invoke([&] { path = ExportInstance(busClass, who.name, std::move(created.object)); });
            if (path.empty()) {
                failure = closing_ ? CO_E_SERVER_STOPPING : E_FAIL;
                description = closing_ ? "server stopping" : "instance not exported";
            }
        }
        Post([this, id, failure, description, path] {
            std::optional<sdbus::MethodCall> call = TakeReply(id);
            if (!call) return;
            if (Failed(failure)) {
                SendError(*call, failure, description);
            } else {
                SendPath(*call, path);
            }
        });
    }

    // Exports the instance under its class's factory; "" when the class was withdrawn, the
    // host is stopping or the export failed.
    std::string ExportInstance(IBusClass& busClass, const std::string& client,
                               std::unique_ptr<IBusObject> object) {
        if (closing_) return {};
        for (auto& cls : classes_) {
            if (cls->busClass != &busClass) continue;
            const std::string path =
                cls->factoryPath + "/Instance" + std::to_string(cls->nextInstance++);
            return registry_->Export(path, client, std::move(object), true) ? path : std::string();
        }
        return {};
    }

    static void SendPath(const sdbus::MethodCall& call, const std::string& path) {
        try {
            auto reply = call.createReply();
            reply << sdbus::ObjectPath(path);
            reply.send();
        } catch (const sdbus::Error&) {
            // The caller left before its answer.
        }
    }

    // The object at the path when the call comes from its owner; null after an error reply.
    const BusObjectRegistry::Entry* CheckedObject(const std::string& path,
                                                  const sdbus::MethodCall& call) {
        const BusObjectRegistry::Entry* entry = registry_->Find(path);
        if (entry == nullptr) {
            SendError(call, RPC_E_DISCONNECTED, "object released");
            return nullptr;
        }
        if (entry->owner != call.getSender()) {
            SendError(call, E_ACCESSDENIED, "object of another client");
            NoteRefusal(call.getSender(), path);
            return nullptr;
        }
        return entry;
    }

    // Reads the arguments here and runs the handler on the caller's worker, so that a slow
    // call holds up its own client only; the reply is sent back here.
    void Dispatch(const std::string& path, const BusMethod& method, sdbus::MethodCall& call) {
        if (closing_) {
            SendError(call, CO_E_SERVER_STOPPING, "server stopping");
            return;
        }
        const BusObjectRegistry::Entry* record = CheckedObject(path, call);
        if (record == nullptr) return;
        BusValue::Items arguments;
        switch (ReadBusValues(call, method.inputSignature, arguments, BusReadLimits{})) {
            case BusReadResult::Ok:
                break;
            case BusReadResult::TooLarge:
                // Refused after reading at most the limits, so a huge argument neither takes
                // the server's memory nor holds up the loop for the other clients.
                SendError(call, E_INVALIDARG, "arguments exceed the limits of one call");
                return;
            default:
                SendError(call, E_INVALIDARG, "arguments do not match " + method.inputSignature);
                return;
        }
        const std::string caller = record->owner;
        const std::uint64_t id = HoldReply(caller, std::move(call), record->exported);
        BusClientWorker& worker =
            method.besideRunningCall ? WorkerFor(BesideKey(caller)) : WorkerFor(caller);
        worker.Push([this, id, caller, path, method, object = record->object,
                     arguments = std::move(arguments)]() mutable {
            CallScope scope(*this, caller, path);
            BusCall busCall{scope, std::move(arguments)};
            BusReply result;
            try {
                result = method.handler(busCall);
            } catch (const std::exception& error) {
                result = BusReply::Fail(E_FAIL, error.what());
            }
            // The answer leaves before a withdrawn object ends (with its last call, on this
            // thread): its destruction may wait for the server list or the devices, and the
            // caller of Release must not wait for that.
            Post([this, id, method, result = std::move(result)] { SendReply(id, method, result); });
            const bool lastUse = object.use_count() == 1;
            object.reset();
            // A client's object that went may have held much (a subscription's queue, say).
            if (lastUse) ReturnFreedMemory();
        });
    }

    std::uint64_t HoldReply(const std::string& caller, sdbus::MethodCall call,
                            std::shared_ptr<sdbus::IObject> via) {
        const std::uint64_t id = nextReply_++;
        pendingReplies_.emplace(id, PendingReply{caller, std::move(call), std::move(via)});
        return id;
    }

    // The call whose answer is due; none when the caller has left. The method table it came
    // through goes after the answer has been sent.
    std::optional<sdbus::MethodCall> TakeReply(std::uint64_t id) {
        auto found = pendingReplies_.find(id);
        if (found == pendingReplies_.end()) return std::nullopt;
        sdbus::MethodCall call = std::move(found->second.call);
        DropReply(found);
        return call;
    }

    void DropReply(std::map<std::uint64_t, PendingReply>::iterator reply) {
        if (registry_) registry_->Bury(std::move(reply->second.via));
        pendingReplies_.erase(reply);
    }

    void SendReply(std::uint64_t id, const BusMethod& method, const BusReply& result) {
        std::optional<sdbus::MethodCall> taken = TakeReply(id);
        if (!taken) return;
        const sdbus::MethodCall& call = *taken;
        if (Failed(result.result)) {
            SendError(call, result.result, result.description);
            return;
        }
        try {
            auto reply = call.createReply();
            if (SignatureOf(result.values) != method.outputSignature ||
                !WriteBusValues(reply, result.values)) {
                Report("reply of " + method.name + " does not match " + method.outputSignature);
                SendError(call, E_FAIL, "malformed reply");
                return;
            }
            reply.send();
        } catch (const sdbus::Error&) {
            // The caller left before its answer.
        }
    }

    BusClientWorker& WorkerFor(const std::string& client) {
        std::unique_ptr<BusClientWorker>& worker = workers_[client];
        if (!worker) worker = std::make_unique<BusClientWorker>();
        return *worker;
    }

    // A departed client's worker ends after its call in progress; its queued calls go.
    // The worker of a client's calls that run beside its others.
    static std::string BesideKey(const std::string& client) { return client + "+beside"; }

    void EndWorker(const std::string& client) {
        for (const std::string& key : {client, BesideKey(client)}) {
            auto found = workers_.find(key);
            if (found == workers_.end()) continue;
            found->second->Finish(true);
            endingWorkers_.push_back(std::move(found->second));
            workers_.erase(found);
        }
        for (auto it = pendingReplies_.begin(); it != pendingReplies_.end();) {
            auto next = std::next(it);
            if (it->second.caller == client) DropReply(it);
            it = next;
        }
    }

    void ReapWorkers() {
        for (auto it = endingWorkers_.begin(); it != endingWorkers_.end();) {
            if ((*it)->Finished()) {
                (*it)->Join(std::chrono::milliseconds(0));
                it = endingWorkers_.erase(it);
            } else {
                ++it;
            }
        }
    }

    std::vector<std::unique_ptr<BusClientWorker>> TakeWorkers() {
        std::vector<std::unique_ptr<BusClientWorker>> taken;
        for (auto& [client, worker] : workers_) taken.push_back(std::move(worker));
        for (auto& worker : endingWorkers_) taken.push_back(std::move(worker));
        workers_.clear();
        endingWorkers_.clear();
        return taken;
    }

    // The calls in progress get until the drain time has passed; a worker still in a call
    // then (a device exchange with a silent controller, say) is abandoned and kept, with
    // this host, until it ends.
    void DrainWorkers(std::vector<std::unique_ptr<BusClientWorker>>& workers,
                      std::chrono::milliseconds wait) {
        for (auto& worker : workers) worker->Finish(false);
        const auto deadline = std::chrono::steady_clock::now() + wait;
        std::size_t left = 0;
        for (auto& worker : workers) {
            const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (worker->Join(std::max(remaining, std::chrono::milliseconds(0)))) continue;
            ++left;
            std::lock_guard lock(abandonedMutex_);
            abandoned_.push_back(std::move(worker));
        }
        workers.clear();
        if (left != 0) {
            Report(std::to_string(left) + " call(s) still running after " +
                   std::to_string(wait.count()) + " ms are left to end on their own");
        }
    }

    // Workers that appeared after the drain began (none are made once the host closes).
    void JoinWorkers() {
        std::vector<std::unique_ptr<BusClientWorker>> rest = TakeWorkers();
        DrainWorkers(rest, kCallDrainWait);
    }

    // A withdrawn object ends on a thread of its own, never on the loop: its end may wait
    // for an update or delivery thread that waits for a device or a client. What a client's
    // own release withdraws ends on that client's worker; what goes with a departed client or
    // the host's stop, on the host's release worker; what goes while no loop runs (before the
    // start, at the end of a stop), here.
    void Release(std::shared_ptr<IBusObject> object) {
        if (collecting_ != nullptr && object) {
            collecting_->push_back(std::move(object));
            return;
        }
        if (!object || !loopActive_ || std::this_thread::get_id() != loopThread_) return;
        if (!releaser_) releaser_ = std::make_unique<BusClientWorker>();
        // A client's object that went may have held much (a subscription's queue, say).
        releaser_->Push([object = std::move(object)]() mutable {
            object.reset();
            ReturnFreedMemory();
        });
    }

    void OnNameOwnerChanged(sdbus::Signal& signal) {
        std::string name, oldOwner, newOwner;
        signal >> name >> oldOwner >> newOwner;
        // A unique name that loses its owner is a connection that closed or crashed.
        if (name.empty() || name[0] != ':' || !newOwner.empty()) return;
        ReleaseClient(name);
    }

    void ReleaseClient(const std::string& client) {
        clients_.erase(client);
        refusals_.erase(client);
        EndWorker(client);
        if (sinkCalls_) sinkCalls_->FailFor(&client);
        if (registry_) registry_->RetireOwnedBy(&client);
    }

    void WithdrawObjectsOnly() {
        if (sinkCalls_) sinkCalls_->FailFor(nullptr);
        if (registry_) registry_->RetireOwnedBy(nullptr);
    }

    void WithdrawAll() {
        WithdrawObjectsOnly();
        for (auto& cls : classes_) {
            if (cls->nameOwned && connection_) {
                try {
                    connection_->releaseName(cls->busName);
                } catch (const sdbus::Error&) {
                    // The bus is gone; the name went with it.
                }
            }
            if (registry_) registry_->Bury(std::move(cls->factory));
        }
        classes_.clear();
    }

    // ---- sinks ----

    std::shared_ptr<BusSinkChannel> ChannelFor(const std::string& client) {
        return std::make_shared<BusSinkChannel>(client, sender_);
    }

    bool QueueSinkCall(const std::string& client, BusSinkCall& call, BusSinkCompletion& done) {
        {
            std::lock_guard lock(tasksMutex_);
            if (!running_) return false;
            queuedSinks_.push_back(BusSinkCalls::Queued{client, std::move(call), std::move(done)});
        }
        Wake();
        return true;
    }

    void FailQueuedSinkCalls() {
        std::vector<BusSinkCalls::Queued> sinks;
        std::vector<std::function<void()>> tasks;
        {
            std::lock_guard lock(tasksMutex_);
            sinks.swap(queuedSinks_);
            tasks.swap(tasks_);
        }
        for (auto& sink : sinks) {
            if (sink.done) sink.done(RPC_E_DISCONNECTED, {});
        }
    }

    void Report(const std::string& line) {
        if (log_) log_(line);
    }

    // ---- who calls ----

    // Runs the work with the client and its process id, which the bus is asked for once per
    // connection: at once when known, otherwise when the bus answers (on the loop, which never
    // waits for the answer). Dropped when the client leaves first.
    void WithClient(const std::string& name, std::function<void(const BusClient&)> work) {
        ClientRecord& client = clients_[name];
        if (client.pid) {
            work(BusClient{name, *client.pid});
            return;
        }
        client.waiting.push_back(std::move(work));
        if (client.asked) return;
        client.asked = true;
        try {
            busProxy_->callMethodAsync("GetConnectionUnixProcessID")
                .onInterface(kBusService)
                .withTimeout(kBusQueryTimeout)
                .withArguments(name)
                .uponReplyInvoke([this, name](const sdbus::Error* error, std::uint32_t pid) {
                    LearnProcess(name, error != nullptr ? 0 : pid);
                });
        } catch (const sdbus::Error&) {
            LearnProcess(name, 0);
        }
    }

    void LearnProcess(const std::string& name, std::uint32_t pid) {
        auto found = clients_.find(name);
        if (found == clients_.end()) return;  // the client has left meanwhile
        found->second.pid = pid;  // 0: the client has left already, or the bus does not tell
        std::vector<std::function<void(const BusClient&)>> waiting;
        waiting.swap(found->second.waiting);
        for (auto& work : waiting) work(BusClient{name, pid});
    }

    // A refused call is traced once per client and minute; the ones in between are counted
    // into the next line.
    void NoteRefusal(const std::string& caller, const std::string& path) {
        const auto now = std::chrono::steady_clock::now();
        Refusals& refusals = refusals_[caller];
        if (refusals.traced && now - refusals.lastTraced < kRefusalTracePeriod) {
            ++refusals.untraced;
            return;
        }
        std::string line = " to " + path + ", an object of another client (E_ACCESSDENIED)";
        if (refusals.untraced > 0) {
            line += "; " + std::to_string(refusals.untraced) + " more refused since the last line";
        }
        refusals = Refusals{now, true, 0};
        WithClient(caller, [this, line](const BusClient& who) {
            Report("refused a call of " + who.Describe() + line);
        });
    }

    IModuleLock& moduleLock_;
    Log log_;
    std::function<void()> connectionLost_;
    int wakeFd_ = -1;
    std::unique_ptr<sdbus::IConnection> connection_;
    std::unique_ptr<sdbus::IProxy> busProxy_;
    std::unique_ptr<BusSinkCalls> sinkCalls_;      // goes before the connection
    std::unique_ptr<BusObjectRegistry> registry_;  // goes before the connection
    std::string uniqueName_;
    std::atomic<std::thread::id> loopThread_{};
    std::atomic<bool> stopping_{false};
    std::atomic<bool> loopActive_{false};  // the loop thread was started and not yet joined
    std::atomic<int> stopState_{kRunning};
    std::atomic<bool> loopAbandoned_{false};

    std::mutex tasksMutex_;
    bool running_ = false;  // guarded by tasksMutex_ after the start
    std::vector<std::function<void()>> tasks_;
    std::vector<BusSinkCalls::Queued> queuedSinks_;

    std::shared_ptr<SinkGate> gate_;
    std::shared_ptr<const BusSinkChannel::Sender> sender_;

    // Loop thread only (or the owner's thread while no loop runs).
    std::vector<std::unique_ptr<ClassRecord>> classes_;
    std::map<std::uint64_t, PendingReply> pendingReplies_;
    std::uint64_t nextReply_ = 1;
    std::map<std::string, std::unique_ptr<BusClientWorker>> workers_;
    std::unique_ptr<BusClientWorker> releaser_;  // ends the withdrawn objects
    // Where a client's own release collects what it withdraws (set during that task only).
    std::vector<std::shared_ptr<IBusObject>>* collecting_ = nullptr;
    std::vector<std::unique_ptr<BusClientWorker>> endingWorkers_;
    struct Refusals {
        std::chrono::steady_clock::time_point lastTraced;
        bool traced = false;
        std::size_t untraced = 0;
    };
    // Per client connection, until it leaves the bus.
    struct ClientRecord {
        std::optional<std::uint32_t> pid;
        bool asked = false;
        std::vector<std::function<void(const BusClient&)>> waiting;
    };
    std::map<std::string, ClientRecord> clients_;
    std::map<std::string, Refusals> refusals_;
    unsigned nextChild_ = 1;
    std::atomic<bool> closing_{false};  // the host is stopping: no new calls

    // Workers that the stop gave up on; they may still use this host.
    mutable std::mutex abandonedMutex_;
    std::vector<std::unique_ptr<BusClientWorker>> abandoned_;

    // Last: started when everything else is in place, ended before it goes.
    WorkerThread loop_{"BusHost"};
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
