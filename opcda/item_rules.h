#pragma once
// What an item reports about its tag: canonical type, access rights, analog range, and the
// value as served.
#include <cstdint>

#include "model/variant.h"
#include "opc/tag_serving.h"

namespace velk {

class OModbusTag;
class OAnalogData;

// The served type (opc/tag_serving.h), UINT as LONG.
VarType CanonicalType(const OModbusTag& tag);
// OPC_READABLE / OPC_WRITEABLE from the tag's read and write bits (AddItems, ValidateItems).
std::uint32_t ItemAccessRights(const OModbusTag& tag);
// The attribute enumerator's rule: always readable, writeable unless the tag is read-only.
std::uint32_t AttributeAccessRights(const OModbusTag& tag);
bool IsReadable(const OModbusTag& tag);
// The tag's current value, UINT served as LONG (TagDataLock held by the caller).
Variant ValueAsServed(const OModbusTag& tag);

}  // namespace velk
