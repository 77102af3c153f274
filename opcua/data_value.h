#pragma once
// DataValue: a value with its status and time stamps, and its binary encoding (a mask, then
// the fields present).
#include <cstdint>
#include <optional>

#include "opcua/variant.h"

namespace velk::ua {

struct DataValue {
    std::optional<Variant> value;
    // Absent means Good.
    std::optional<StatusCode> status;
    std::optional<DateTime> sourceTimestamp;
    std::optional<std::uint16_t> sourcePicoseconds;
    std::optional<DateTime> serverTimestamp;
    std::optional<std::uint16_t> serverPicoseconds;
    bool operator==(const DataValue&) const = default;
};

void Encode(BinaryWriter& w, const DataValue& value);
// Mask bits 0x40 and 0x80 are BadDecodingError.
void Decode(BinaryReader& r, DataValue& value);

}  // namespace velk::ua
