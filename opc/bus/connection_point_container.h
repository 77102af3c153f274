#pragma once
// IConnectionPointContainer of an OPC object on the bus. Each object offers one sink
// interface: IOPCShutdown on the DA and AE server objects, IOPCDataCallback on a DA group,
// IOPCEventSink on an AE subscription. EnumConnectionPoints names it; Advise and Unadvise
// with any other interface fail with CONNECT_E_NOCONNECTION, traced as calls of that
// connection point, before the object is asked.
#include <cstdint>
#include <functional>
#include <string>

#include "platform/dbus/bus_object.h"

namespace velk {

inline constexpr const char* kConnectionPointContainerInterface =
    "VELK.OPC.IConnectionPointContainer";

struct ConnectionPoint {
    std::string sinkInterface;  // the sink's bus interface, e.g. "VELK.OPC.IOPCShutdown"
    std::string comName;        // its name in trace lines, e.g. "IOPCShutdown"
    // Connects the caller's sink object at sinkPath; the reply carries the cookie.
    std::function<BusReply(const std::string& sinkPath)> advise;
    // Disconnects the sink of the cookie.
    std::function<BusReply(std::uint32_t cookie)> unadvise;
};

BusInterface ConnectionPointContainer(ConnectionPoint point);

// The trace line of a refused connection-point call ("Called IConnectionPoint<...>::...")
// and its CONNECT_E_NOCONNECTION reply; detail names what was refused (the interface).
BusReply RefuseConnection(const std::string& comName, const char* method,
                          const std::string& detail = {});

}  // namespace velk
