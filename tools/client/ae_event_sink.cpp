#include "tools/client/ae_event_sink.h"

#include "tools/client/ae_server.h"
#include "tools/client/bus/bus_value_codec.h"

namespace velk::client {
namespace {

using BusEvent = sdbus::Struct<std::uint16_t, std::uint16_t, std::string, std::uint64_t,
                               std::string, std::uint32_t, std::uint32_t, std::uint32_t,
                               std::string, std::string, std::uint16_t, bool, std::uint64_t,
                               std::uint32_t, std::vector<BusVariant>, std::string>;

AeEvent FromBusEvent(const BusEvent& b) {
    AeEvent e;
    e.changeMask = b.get<0>();
    e.newState = b.get<1>();
    e.source = b.get<2>();
    e.time = b.get<3>();
    e.message = b.get<4>();
    e.eventType = b.get<5>();
    e.category = b.get<6>();
    e.severity = b.get<7>();
    e.condition = b.get<8>();
    e.subcondition = b.get<9>();
    e.quality = b.get<10>();
    e.ackRequired = b.get<11>();
    e.activeTime = b.get<12>();
    e.cookie = b.get<13>();
    for (const BusVariant& a : b.get<14>()) e.attributes.push_back(FromBus(a));
    e.actor = b.get<15>();
    return e;
}

}  // namespace

AeEventSink::AeEventSink(BusSession& session, std::function<void(const AeEventCall&)> onEvent)
    : path_(session.NewObjectPath("EventSink")),
      object_(sdbus::createObject(session.Connection(), path_)) {
    object_->registerMethod("OnEvent")
        .onInterface(kEventSinkInterface)
        .implementedAs([handler = std::move(onEvent)](std::uint32_t clientHandle, bool refresh,
                                                      bool lastRefresh,
                                                      const std::vector<BusEvent>& events) {
            AeEventCall call{clientHandle, refresh, lastRefresh, {}};
            for (const BusEvent& e : events) call.events.push_back(FromBusEvent(e));
            if (handler) handler(call);
        });
    object_->finishRegistration();
}

}  // namespace velk::client
