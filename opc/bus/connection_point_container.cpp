#include "opc/bus/connection_point_container.h"

#include <memory>
#include <utility>

#include "core/trace_file.h"
#include "platform/dbus/bus_call_arguments.h"
#include "platform/hresult.h"

namespace velk {

BusReply RefuseConnection(const std::string& comName, const char* method,
                          const std::string& detail) {
    TraceResult("Called IConnectionPoint<" + comName + ">::" + method, CONNECT_E_NOCONNECTION,
                true);
    return BusReply::Fail(CONNECT_E_NOCONNECTION, detail);
}

BusInterface ConnectionPointContainer(ConnectionPoint point) {
    auto shared = std::make_shared<const ConnectionPoint>(std::move(point));
    return {kConnectionPointContainerInterface,
            {{"EnumConnectionPoints",
              "",
              {},
              "as",
              {"sinkInterfaces"},
              [shared](BusCall&) {
                  return BusReply::Ok({BusValue::StringArray({shared->sinkInterface})});
              }},
             {"Advise",
              "so",
              {"sinkInterface", "sink"},
              "u",
              {"cookie"},
              [shared](BusCall& call) {
                  if (TextArg(call, 0) != shared->sinkInterface)
                      return RefuseConnection(shared->comName, "Advise", TextArg(call, 0));
                  return shared->advise(TextArg(call, 1));
              }},
             {"Unadvise", "su", {"sinkInterface", "cookie"}, "", {}, [shared](BusCall& call) {
                  if (TextArg(call, 0) != shared->sinkInterface)
                      return RefuseConnection(shared->comName, "Unadvise", TextArg(call, 0));
                  return shared->unadvise(UInt32Arg(call, 1));
              }}}};
}

}  // namespace velk
