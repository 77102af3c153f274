#pragma once
// Moving BusValue trees in and out of bus library messages, driven by type signatures.
// Used by the host only.
#include <sdbus-c++/Message.h>

#include <string>

#include "platform/dbus/bus_value.h"

namespace velk {

// Appends the value; false for a malformed value or an unsupported type (file descriptors).
bool WriteBusValue(sdbus::Message& message, const BusValue& value);
bool WriteBusValues(sdbus::Message& message, const BusValue::Items& values);

// Reads the complete types of the signature in order; false when the message holds
// something else.
bool ReadBusValues(sdbus::Message& message, const std::string& signature, BusValue::Items& out);

}  // namespace velk
