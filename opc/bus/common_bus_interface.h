#pragma once
// IOPCCommon of a DA or AE server object on the bus ("VELK.OPC.IOPCCommon").
#include "platform/dbus/bus_object.h"

namespace velk {

class IOPCCommon;

inline constexpr const char* kCommonInterface = "VELK.OPC.IOPCCommon";

// The methods call the object, which outlives the bus object that holds the interface.
BusInterface CommonBusInterface(IOPCCommon& common);

}  // namespace velk
