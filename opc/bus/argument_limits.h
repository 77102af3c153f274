#pragma once
// The sizes an OPC client's call may have. Every method of the DA and AE objects checks its
// arguments against them before it converts anything or touches a group or subscription,
// and refuses a call beyond them with E_INVALIDARG at once, so that one client's outsized
// call costs neither time nor memory that other clients wait for.
#include <cstddef>
#include <vector>

#include "platform/dbus/bus_object.h"

namespace velk {

struct ArgumentLimits {
    // Elements of any one list: item definitions, handles, values, property IDs, event
    // categories, areas, sources, conditions.
    static constexpr std::size_t kMaxElements = 100000;
    // Bytes of a text outside a value: item IDs, access paths, names, formats, paths, area
    // and source names, comments.
    static constexpr std::size_t kMaxTextBytes = 4096;
    // Bytes of one value to write (a text, or an array's elements at 8 bytes each).
    static constexpr std::size_t kMaxValueBytes = 65536;
    // Bytes of all arguments of one call together.
    static constexpr std::size_t kMaxCallBytes = 8 * 1024 * 1024;
};

// True when the arguments keep to the limits.
bool ArgumentsWithinLimits(const BusValue::Items& arguments);

// The interfaces with every handler behind the check; a refused call is traced as the
// methods trace their own results ("Called IOPCSyncIO::Write" with E_INVALIDARG).
std::vector<BusInterface> WithArgumentLimits(std::vector<BusInterface> interfaces);

}  // namespace velk
