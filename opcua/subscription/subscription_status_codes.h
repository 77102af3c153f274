#pragma once
// The DataValue info bits that mark a monitored item's lost values.
#include <cstdint>

#include "opcua/status_codes.h"

namespace velk::ua {

// InfoType "DataValue" (bit 10) with the Overflow bit (bit 7): set on a queued value next
// to one the queue had to drop.
inline constexpr std::uint32_t kInfoTypeDataValue = 0x00000400u;
inline constexpr std::uint32_t kInfoBitOverflow = 0x00000080u;

inline constexpr StatusCode WithOverflow(StatusCode s) {
    return StatusCode{s.code | kInfoTypeDataValue | kInfoBitOverflow};
}
inline constexpr bool HasOverflow(StatusCode s) {
    return (s.code & (kInfoTypeDataValue | kInfoBitOverflow)) ==
           (kInfoTypeDataValue | kInfoBitOverflow);
}

}  // namespace velk::ua
