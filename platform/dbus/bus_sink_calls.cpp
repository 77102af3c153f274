#include "platform/dbus/bus_sink_calls.h"

#include <chrono>

#include "platform/dbus/bus_errors.h"
#include "platform/dbus/bus_marshal.h"

namespace velk {

BusSinkCalls::BusSinkCalls(sdbus::IConnection& connection, BusGraveyard& graveyard,
                           std::size_t perClientLimit)
    : connection_(connection), graveyard_(graveyard), perClientLimit_(perClientLimit) {}

BusSinkCalls::~BusSinkCalls() { FailFor(nullptr); }

std::size_t BusSinkCalls::PendingFor(const std::string& client) const {
    std::size_t count = 0;
    for (const auto& [id, pending] : pending_) count += pending.client == client ? 1 : 0;
    return count;
}

void BusSinkCalls::Start(Queued queued) {
    if (PendingFor(queued.client) >= perClientLimit_) {
        if (queued.done) queued.done(RPC_E_TIMEOUT, {});
        return;
    }
    const std::uint64_t id = nextId_++;
    Pending pending{queued.client, queued.call.replySignature, std::move(queued.done), nullptr};
    try {
        pending.proxy = sdbus::createProxy(connection_, queued.client, queued.call.objectPath);
        auto message =
            pending.proxy->createMethodCall(queued.call.interfaceName, queued.call.method);
        if (!WriteBusValues(message, queued.call.arguments)) {
            graveyard_.Bury(std::move(pending.proxy));
            if (pending.done) pending.done(E_INVALIDARG, {});
            return;
        }
        const auto timeout =
            std::chrono::duration_cast<std::chrono::microseconds>(queued.call.timeout);
        pending.proxy->callMethod(
            message,
            [this, id](sdbus::MethodReply& reply, const sdbus::Error* error) {
                Complete(id, reply, error);
            },
            static_cast<std::uint64_t>(timeout.count() > 0 ? timeout.count() : 1));
    } catch (const sdbus::Error& error) {
        if (pending.proxy) graveyard_.Bury(std::move(pending.proxy));
        if (pending.done)
            pending.done(HresultFromBusError(error.getName(), error.getMessage()), {});
        return;
    }
    pending_.emplace(id, std::move(pending));
}

void BusSinkCalls::Complete(std::uint64_t id, sdbus::MethodReply& reply,
                            const sdbus::Error* error) {
    auto found = pending_.find(id);
    if (found == pending_.end()) return;
    Pending pending = std::move(found->second);
    pending_.erase(found);
    graveyard_.Bury(std::move(pending.proxy));
    HRESULT result = S_OK;
    BusValue::Items values;
    if (error != nullptr && error->isValid()) {
        result = HresultFromBusError(error->getName(), error->getMessage());
    } else if (!ReadBusValues(reply, pending.replySignature, values)) {
        result = E_FAIL;  // the sink answered something else than its interface says
        values.clear();
    }
    if (pending.done) pending.done(result, values);
}

void BusSinkCalls::FailFor(const std::string* client) {
    std::vector<BusSinkCompletion> failed;
    for (auto it = pending_.begin(); it != pending_.end();) {
        if (client == nullptr || it->second.client == *client) {
            graveyard_.Bury(std::move(it->second.proxy));
            failed.push_back(std::move(it->second.done));
            it = pending_.erase(it);
        } else {
            ++it;
        }
    }
    for (auto& done : failed) {
        if (done) done(RPC_E_DISCONNECTED, {});
    }
}

}  // namespace velk
