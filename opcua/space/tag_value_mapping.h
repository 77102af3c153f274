#pragma once
// A tag's value as UA serves it: the StatusCode of its DA quality, its time stamp as a UA
// DateTime, its value as a Variant of its served type, and the DataType of that type.
#include <cstdint>

#include "model/variant.h"
#include "opcua/data_value.h"
#include "platform/clock.h"

namespace velk {
class OModbusTag;
}

namespace velk::ua {

// The quality's major state decides: good, uncertain or bad; a bad quality keeps what its
// substatus tells (no communication, out of service), every other bad one is Bad.
StatusCode StatusFromQuality(std::uint16_t quality);
// The same count of 100 ns ticks since 1601; a count beyond Int64 is the latest time.
DateTime DateTimeFromFileTime(FileTime time);
// The value converted to type (a served type code of opc/tag_serving.h); a null Variant
// when the value is empty or does not convert.
Variant VariantOfTagValue(const velk::Variant& value, VarType type);
// A written value as the tag's served type (a code of opc/tag_serving.h): a number of any
// numeric type converts to a numeric type (rounded to an integer one), a String only to
// STRING, a Boolean only to BOOL. BadOutOfRange for a number the type cannot hold,
// BadTypeMismatch for anything else (an array, a null value, another type).
StatusCode TagValueOfVariant(const Variant& value, VarType type, velk::Variant& out);
// The namespace 0 DataType of a served type code; BaseDataType for an unknown code.
NodeId DataTypeOfServedType(VarType type);
// Value, status and source time stamp of the tag's value record (TagDataLock held by the
// caller).
DataValue TagDataValue(const OModbusTag& tag);

}  // namespace velk::ua
