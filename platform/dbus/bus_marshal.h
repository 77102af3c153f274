#pragma once
// Moving BusValue trees in and out of bus library messages, driven by type signatures.
// Used by the host only.
#include <sdbus-c++/Message.h>

#include <cstddef>
#include <string>

#include "platform/dbus/bus_value.h"

namespace velk {

// Appends the value; false for a malformed value or an unsupported type (file descriptors).
bool WriteBusValue(sdbus::Message& message, const BusValue& value);
bool WriteBusValues(sdbus::Message& message, const BusValue::Items& values);

// What one message may hold: values (every number, text and container counts one) and the
// bytes of all its texts together.
struct BusReadLimits {
    std::size_t values = 262144;
    std::size_t textBytes = 4 * 1024 * 1024;
};

enum class BusReadResult { Ok, Mismatch, TooLarge };

// Reads the complete types of the signature in order; TooLarge as soon as the limits are
// passed (nothing beyond them is read), Mismatch when the message holds something else.
BusReadResult ReadBusValues(sdbus::Message& message, const std::string& signature,
                            BusValue::Items& out, const BusReadLimits& limits);
// The same within the default limits; false for anything but Ok.
bool ReadBusValues(sdbus::Message& message, const std::string& signature, BusValue::Items& out);

}  // namespace velk
