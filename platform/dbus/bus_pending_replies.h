#pragma once
// The calls whose answers are due: a call waits here, with its message, while its handler runs
// on the caller's worker (or its instance is made there), and is answered or dropped here on
// the loop thread, as the bus library's messages are not shared across threads. The method
// table a call came through stays with it: the bus library checks the answer against that
// table, and refuses to send it (ENOMSG) once the table has gone with a withdrawn object, so
// the table goes to the loop's graveyard only when the answer has been sent or dropped.
// Used on the bus loop thread only.
#include <sdbus-c++/sdbus-c++.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/dbus/bus_graveyard.h"
#include "platform/dbus/bus_object.h"

namespace velk {

// Answers the call with the "VELK.Error.HRESULT" error; a caller that has left is not told.
void SendErrorReply(const sdbus::MethodCall& call, HRESULT code, const std::string& description);
// Answers the call with an object path.
void SendPathReply(const sdbus::MethodCall& call, const std::string& path);

class BusPendingReplies {
  public:
    using Report = std::function<void(const std::string& line)>;

    BusPendingReplies(BusGraveyard& graveyard, Report report);
    BusPendingReplies(const BusPendingReplies&) = delete;
    BusPendingReplies& operator=(const BusPendingReplies&) = delete;

    // Holds the call until its answer; via is the method table it came through.
    std::uint64_t Hold(const std::string& caller, sdbus::MethodCall call,
                       std::shared_ptr<sdbus::IObject> via);
    // The call whose answer is due; none when it was dropped (its caller has left). Its method
    // table goes to the graveyard, which is cleared only after the answer has been sent.
    std::optional<sdbus::MethodCall> Take(std::uint64_t id);
    // Answers the call with the handler's result, checked against the method's signature.
    void Send(std::uint64_t id, const BusMethod& method, const BusReply& result);
    // Drops the calls of a caller that has left the bus.
    void DropFor(const std::string& caller);
    // Drops every call (the loop's end).
    void Clear() { held_.clear(); }

  private:
    struct Held {
        std::string caller;
        sdbus::MethodCall call;
        std::shared_ptr<sdbus::IObject> via;
    };
    void Drop(std::map<std::uint64_t, Held>::iterator held);

    BusGraveyard& graveyard_;
    Report report_;
    std::map<std::uint64_t, Held> held_;
    std::uint64_t nextId_ = 1;
};

}  // namespace velk
