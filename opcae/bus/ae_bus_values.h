#pragma once
// How the AE records travel on the bus: the OnEvent structure with its attribute variants,
// and the list arguments of the AE methods.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/variant.h"
#include "opcae/opc_ae_types.h"
#include "platform/dbus/bus_value.h"

namespace velk::aebus {

// An attribute as (variant type code, value); VT_EMPTY carries int32 0.
BusValue AttributeToBus(const Variant& value);
// The attribute back; none for a type code this server does not send or a mismatched value.
std::optional<Variant> AttributeFromBus(const BusValue& value);

// One event as the "(qqstsuuussqbtua(qv)s)" structure, in the field order of OnEventStruct.
BusValue EventToBus(const OnEventStruct& event);
// The event back; none when the value is not such a structure.
std::optional<OnEventStruct> EventFromBus(const BusValue& value);
// OnEvent's arguments (client handle, refresh, last refresh, events).
BusValue::Items OnEventArguments(std::uint32_t clientHandle, bool refresh, bool lastRefresh,
                                 const std::vector<OnEventStruct>& events);

// Elements of an "au" or "as" argument (elements of other types are left out).
std::vector<std::uint32_t> UInt32List(const BusValue& array);
std::vector<std::string> StringList(const BusValue& array);

}  // namespace velk::aebus
