#include "platform/dbus/bus_dispatcher.h"

#include <cctype>

#include "platform/dbus/bus_errors.h"
#include "platform/dbus/bus_host.h"
#include "platform/dbus/bus_marshal.h"
#include "platform/trim_memory.h"

namespace velk {
namespace {

// The answer to a call that no thread could take.
constexpr const char* kNoThreadText = "no thread for the call";

bool IsPathElement(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text) {
        if (!std::isalnum(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

}  // namespace

// What a handler may do beyond computing its results, on the caller's worker: the registry
// is reached through the loop.
class BusDispatcher::CallScope final : public IBusCallScope {
  public:
    CallScope(BusDispatcher& dispatcher, std::string caller, std::string path)
        : dispatcher_(dispatcher), caller_(std::move(caller)), path_(std::move(path)) {}
    const std::string& Caller() const override { return caller_; }
    const std::string& ObjectPath() const override { return path_; }
    std::string ExportChild(std::string_view kind, std::unique_ptr<IBusObject> child) override {
        if (!IsPathElement(kind) || !child) return {};
        std::string path;
        dispatcher_.parts_.tasks.Invoke([&] {
            if (dispatcher_.registry_ == nullptr) return;
            const std::string wanted =
                path_ + "/" + std::string(kind) + std::to_string(dispatcher_.nextChild_++);
            if (dispatcher_.registry_->Export(wanted, caller_, std::move(child), false))
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
        dispatcher_.parts_.tasks.Invoke([&] {
            if (dispatcher_.registry_ != nullptr)
                removed = dispatcher_.registry_->Retire(path, caller_, &ended);
        });
        ended.clear();
        return removed;
    }
    std::shared_ptr<BusSinkChannel> Sinks() const override {
        return dispatcher_.ChannelFor(caller_);
    }

  private:
    BusDispatcher& dispatcher_;
    std::string caller_;
    std::string path_;
};

BusDispatcher::BusDispatcher(Parts parts) : parts_(std::move(parts)) {}

void BusDispatcher::Attach(sdbus::IConnection* connection, BusObjectRegistry* registry) {
    connection_ = connection;
    registry_ = registry;
}

bool BusDispatcher::AddClass(IBusClass& busClass, std::string& reason) {
    if (connection_ == nullptr) {
        reason = "the bus host is not connected";
        return false;
    }
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

void BusDispatcher::WithdrawClasses() {
    for (auto& cls : classes_) {
        if (cls->nameOwned && connection_ != nullptr) {
            try {
                connection_->releaseName(cls->busName);
            } catch (const sdbus::Error&) {
                // The bus is gone; the name went with it.
            }
        }
        parts_.tasks.Graveyard().Bury(std::move(cls->factory));
    }
    classes_.clear();
}

// The class makes the instance on the caller's worker, not here: making a server object
// takes the server list and the client count, which a client's departure may hold while
// device threads finish a slow exchange, and the loop thread never waits for that.
void BusDispatcher::CreateInstance(ClassRecord& cls, sdbus::MethodCall& call) {
    if (closing_) {
        SendErrorReply(call, CO_E_SERVER_STOPPING, "server stopping");
        return;
    }
    const std::string client = call.getSender();
    const std::uint64_t id = parts_.replies.Hold(client, std::move(call), cls.factory);
    IBusClass* busClass = cls.busClass;
    // Who the client is (its process id, asked of the bus once per connection) is known
    // before its instance is made; the loop does not wait for the bus's answer.
    parts_.callers.WithClient(client, [this, id, busClass](const BusClient& who) {
        if (closing_) {  // the host began to stop while the bus was asked
            if (std::optional<sdbus::MethodCall> call = parts_.replies.Take(id))
                SendErrorReply(*call, CO_E_SERVER_STOPPING, "server stopping");
            return;
        }
        BusClientWorker* worker = parts_.workers.For(who.name);
        if (worker == nullptr ||
            !worker->Push([this, id, who, busClass] { MakeInstance(id, who, *busClass); })) {
            if (std::optional<sdbus::MethodCall> call = parts_.replies.Take(id))
                SendErrorReply(*call, E_OUTOFMEMORY, kNoThreadText);
        }
    });
}

// On the client's worker: makes and exports the instance, then answers on the loop.
void BusDispatcher::MakeInstance(std::uint64_t id, const BusClient& who, IBusClass& busClass) {
    BusInstanceResult created = busClass.CreateInstance(who, ChannelFor(who.name));
    HRESULT failure = S_OK;
    std::string description;
    std::string path;
    if (Failed(created.result) || !created.object) {
        failure = Failed(created.result) ? created.result : E_FAIL;
        description = "instance not created";
    } else {
        parts_.tasks.Invoke(
            [&] { path = ExportInstance(busClass, who.name, std::move(created.object)); });
        if (path.empty()) {
            failure = closing_ ? CO_E_SERVER_STOPPING : E_FAIL;
            description = closing_ ? "server stopping" : "instance not exported";
        }
    }
    parts_.tasks.Post([this, id, failure, description, path] {
        std::optional<sdbus::MethodCall> call = parts_.replies.Take(id);
        if (!call) return;
        if (Failed(failure)) {
            SendErrorReply(*call, failure, description);
        } else {
            SendPathReply(*call, path);
        }
    });
}

// Exports the instance under its class's factory; "" when the class was withdrawn, the host
// is stopping or the export failed.
std::string BusDispatcher::ExportInstance(IBusClass& busClass, const std::string& client,
                                          std::unique_ptr<IBusObject> object) {
    if (closing_ || registry_ == nullptr) return {};
    for (auto& cls : classes_) {
        if (cls->busClass != &busClass) continue;
        const std::string path =
            cls->factoryPath + "/Instance" + std::to_string(cls->nextInstance++);
        return registry_->Export(path, client, std::move(object), true) ? path : std::string();
    }
    return {};
}

// The object at the path when the call comes from its owner; null after an error reply.
const BusObjectRegistry::Entry* BusDispatcher::CheckedObject(const std::string& path,
                                                             const sdbus::MethodCall& call) {
    const BusObjectRegistry::Entry* entry = registry_ ? registry_->Find(path) : nullptr;
    if (entry == nullptr) {
        SendErrorReply(call, RPC_E_DISCONNECTED, "object released");
        return nullptr;
    }
    if (entry->owner != call.getSender()) {
        SendErrorReply(call, E_ACCESSDENIED, "object of another client");
        parts_.callers.NoteRefusal(call.getSender(), path);
        return nullptr;
    }
    return entry;
}

// Reads the arguments here and runs the handler on the caller's worker, so that a slow call
// holds up its own client only; the reply is sent back here.
void BusDispatcher::Dispatch(const std::string& path, const BusMethod& method,
                             sdbus::MethodCall& call) {
    if (closing_) {
        SendErrorReply(call, CO_E_SERVER_STOPPING, "server stopping");
        return;
    }
    const BusObjectRegistry::Entry* record = CheckedObject(path, call);
    if (record == nullptr) return;
    BusValue::Items arguments;
    switch (ReadBusValues(call, method.inputSignature, arguments, BusReadLimits{})) {
        case BusReadResult::Ok:
            break;
        case BusReadResult::TooLarge:
            // Refused after reading at most the limits, so a huge argument neither takes the
            // server's memory nor holds up the loop for the other clients.
            SendErrorReply(call, E_INVALIDARG, "arguments exceed the limits of one call");
            return;
        default:
            SendErrorReply(call, E_INVALIDARG, "arguments do not match " + method.inputSignature);
            return;
    }
    const std::string caller = record->owner;
    BusClientWorker* worker =
        method.besideRunningCall ? parts_.workers.BesideFor(caller) : parts_.workers.For(caller);
    if (worker == nullptr) {
        // The system refused the client's thread (a task limit): this call is refused, the
        // next one tries again.
        SendErrorReply(call, E_OUTOFMEMORY, kNoThreadText);
        return;
    }
    const std::uint64_t id = parts_.replies.Hold(caller, std::move(call), record->exported);
    const bool queued = worker->Push([this, id, caller, path, method, object = record->object,
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
        parts_.tasks.Post([this, id, method, result = std::move(result)] {
            parts_.replies.Send(id, method, result);
        });
        const bool lastUse = object.use_count() == 1;
        object.reset();
        // A client's object that went may have held much (a subscription's queue, say).
        if (lastUse) ReturnFreedMemory();
    });
    if (!queued) {
        if (std::optional<sdbus::MethodCall> held = parts_.replies.Take(id))
            SendErrorReply(*held, E_OUTOFMEMORY, kNoThreadText);
    }
}

std::shared_ptr<BusSinkChannel> BusDispatcher::ChannelFor(const std::string& client) const {
    return std::make_shared<BusSinkChannel>(client, parts_.sinks);
}

}  // namespace velk
