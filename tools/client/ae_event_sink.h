#pragma once
// The client's event sink (VELK.OPC.IOPCEventSink) on its own connection, and the event
// record it hands on. Its handler runs on the bus loop (BusSession::Run).
#include <sdbus-c++/sdbus-c++.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tools/client/bus/bus_session.h"
#include "tools/client/lib/client_value.h"

namespace velk::client {

struct AeEvent {
    std::uint16_t changeMask = 0;
    std::uint16_t newState = 0;
    std::string source;
    std::uint64_t time = 0;
    std::string message;
    std::uint32_t eventType = 0;
    std::uint32_t category = 0;
    std::uint32_t severity = 0;
    std::string condition;
    std::string subcondition;
    std::uint16_t quality = 0;
    bool ackRequired = false;
    std::uint64_t activeTime = 0;
    std::uint32_t cookie = 0;
    std::vector<ClientValue> attributes;
    std::string actor;
};

struct AeEventCall {
    std::uint32_t clientHandle = 0;
    bool refresh = false;
    bool lastRefresh = false;
    std::vector<AeEvent> events;
};

class AeEventSink {
  public:
    AeEventSink(BusSession& session, std::function<void(const AeEventCall&)> onEvent);
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
    std::unique_ptr<sdbus::IObject> object_;
};

}  // namespace velk::client
