#pragma once
// Values on the bus: a VARIANT travels as "(qv)", the type code and the value in a bus
// variant of the code's natural type ("n" for VT_I2, "d" for VT_R8 and VT_DATE, "ad" for
// VT_ARRAY | VT_R8, ...).
#include <sdbus-c++/sdbus-c++.h>

#include <cstdint>

#include "tools/client/lib/client_value.h"

namespace velk::client {

using BusVariant = sdbus::Struct<std::uint16_t, sdbus::Variant>;

// The value as received. A bus type that does not fit the code is taken by what it holds
// (the code is kept); an unknown bus type gives an empty value.
ClientValue FromBus(const BusVariant& value);
// The value to send. The numbers are narrowed to the code's bus type (the parser has
// checked their range); types without a bus form go as VT_EMPTY.
BusVariant ToBus(const ClientValue& value);

}  // namespace velk::client
