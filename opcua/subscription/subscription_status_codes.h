#pragma once
// The status codes of the Subscription and MonitoredItem services, and the DataValue info
// bits that mark a monitored item's lost values.
#include <cstdint>

#include "opcua/status_codes.h"

namespace velk::ua {

inline constexpr StatusCode kBadSubscriptionIdInvalid{0x80280000};
inline constexpr StatusCode kBadTimestampsToReturnInvalid{0x802B0000};
inline constexpr StatusCode kBadAttributeIdInvalid{0x80350000};
inline constexpr StatusCode kBadIndexRangeInvalid{0x80360000};
inline constexpr StatusCode kBadDataEncodingInvalid{0x80380000};
inline constexpr StatusCode kBadMonitoringModeInvalid{0x80410000};
inline constexpr StatusCode kBadMonitoredItemIdInvalid{0x80420000};
inline constexpr StatusCode kBadMonitoredItemFilterInvalid{0x80430000};
inline constexpr StatusCode kBadMonitoredItemFilterUnsupported{0x80440000};
inline constexpr StatusCode kBadFilterNotAllowed{0x80450000};
inline constexpr StatusCode kBadTooManySubscriptions{0x80770000};
inline constexpr StatusCode kBadTooManyPublishRequests{0x80780000};
inline constexpr StatusCode kBadNoSubscription{0x80790000};
inline constexpr StatusCode kBadSequenceNumberUnknown{0x807A0000};
inline constexpr StatusCode kBadMessageNotAvailable{0x807B0000};
inline constexpr StatusCode kBadDeadbandFilterInvalid{0x808E0000};
inline constexpr StatusCode kBadTooManyMonitoredItems{0x80DB0000};

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
