#include "platform/dbus/bus_pending_replies.h"

#include <iterator>

#include "platform/dbus/bus_errors.h"
#include "platform/dbus/bus_marshal.h"

namespace velk {

void SendErrorReply(const sdbus::MethodCall& call, HRESULT code, const std::string& description) {
    try {
        call.createErrorReply(sdbus::Error(std::string(kHresultErrorName),
                                           FormatHresultMessage(code, description)))
            .send();
    } catch (const sdbus::Error&) {
        // The caller left before its answer; nothing to tell.
    }
}

void SendPathReply(const sdbus::MethodCall& call, const std::string& path) {
    try {
        auto reply = call.createReply();
        reply << sdbus::ObjectPath(path);
        reply.send();
    } catch (const sdbus::Error&) {
        // The caller left before its answer.
    }
}

BusPendingReplies::BusPendingReplies(BusGraveyard& graveyard, Report report)
    : graveyard_(graveyard), report_(std::move(report)) {}

std::uint64_t BusPendingReplies::Hold(const std::string& caller, sdbus::MethodCall call,
                                      std::shared_ptr<sdbus::IObject> via) {
    const std::uint64_t id = nextId_++;
    held_.emplace(id, Held{caller, std::move(call), std::move(via)});
    return id;
}

std::optional<sdbus::MethodCall> BusPendingReplies::Take(std::uint64_t id) {
    auto found = held_.find(id);
    if (found == held_.end()) return std::nullopt;
    sdbus::MethodCall call = std::move(found->second.call);
    Drop(found);
    return call;
}

void BusPendingReplies::DropFor(const std::string& caller) {
    for (auto it = held_.begin(); it != held_.end();) {
        auto next = std::next(it);
        if (it->second.caller == caller) Drop(it);
        it = next;
    }
}

void BusPendingReplies::Drop(std::map<std::uint64_t, Held>::iterator held) {
    graveyard_.Bury(std::move(held->second.via));
    held_.erase(held);
}

void BusPendingReplies::Send(std::uint64_t id, const BusMethod& method, const BusReply& result) {
    std::optional<sdbus::MethodCall> taken = Take(id);
    if (!taken) return;
    const sdbus::MethodCall& call = *taken;
    if (Failed(result.result)) {
        SendErrorReply(call, result.result, result.description);
        return;
    }
    try {
        auto reply = call.createReply();
        if (SignatureOf(result.values) != method.outputSignature ||
            !WriteBusValues(reply, result.values)) {
            if (report_)
                report_("reply of " + method.name + " does not match " + method.outputSignature);
            SendErrorReply(call, E_FAIL, "malformed reply");
            return;
        }
        reply.send();
    } catch (const sdbus::Error&) {
        // The caller left before its answer.
    }
}

}  // namespace velk
