#pragma once
// The status codes of the address space services that opcua/status_codes.h does not list
// (bit layout as there).
#include "opcua/status_codes.h"

namespace velk::ua {

inline constexpr StatusCode kBadUserAccessDenied{0x801F0000};
inline constexpr StatusCode kBadTimestampsToReturnInvalid{0x802B0000};
inline constexpr StatusCode kBadAttributeIdInvalid{0x80350000};
inline constexpr StatusCode kBadIndexRangeInvalid{0x80360000};
inline constexpr StatusCode kBadIndexRangeNoData{0x80370000};
inline constexpr StatusCode kBadDataEncodingInvalid{0x80380000};
inline constexpr StatusCode kBadDataEncodingUnsupported{0x80390000};
inline constexpr StatusCode kBadNotReadable{0x803A0000};
inline constexpr StatusCode kBadContinuationPointInvalid{0x804A0000};
inline constexpr StatusCode kBadNoContinuationPoints{0x804B0000};
inline constexpr StatusCode kBadReferenceTypeIdInvalid{0x804C0000};
inline constexpr StatusCode kBadBrowseDirectionInvalid{0x804D0000};
inline constexpr StatusCode kBadBrowseNameInvalid{0x80600000};
inline constexpr StatusCode kBadViewIdUnknown{0x806B0000};
inline constexpr StatusCode kBadNoMatch{0x806F0000};
inline constexpr StatusCode kBadMaxAgeInvalid{0x80700000};

}  // namespace velk::ua
