#include "tools/client/bus/connection_points.h"

#include <sdbus-c++/Types.h>

#include "tools/client/bus/bus_call_error.h"

namespace velk::client {
namespace {

constexpr const char* kConnectionPoints = "VELK.OPC.IConnectionPointContainer";

}  // namespace

std::uint32_t AdviseSink(sdbus::IProxy& object, const std::string& server,
                         const std::string& sinkInterface, const std::string& sinkPath) {
    std::uint32_t cookie = 0;
    Guarded(server, "IConnectionPointContainer.Advise", [&] {
        object.callMethod("Advise")
            .onInterface(kConnectionPoints)
            .withArguments(sinkInterface, sdbus::ObjectPath(sinkPath))
            .storeResultsTo(cookie);
    });
    return cookie;
}

void UnadviseSink(sdbus::IProxy& object, const std::string& server,
                  const std::string& sinkInterface, std::uint32_t cookie) {
    Guarded(server, "IConnectionPointContainer.Unadvise", [&] {
        object.callMethod("Unadvise")
            .onInterface(kConnectionPoints)
            .withArguments(sinkInterface, cookie);
    });
}

}  // namespace velk::client
