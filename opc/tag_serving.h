#pragma once
// How a tag's value is served to every OPC interface (DA and UA): the type of the value as
// the clients see it and the analog scaling that makes it an engineering value.
#include "model/variant.h"

namespace velk {

class OModbusTag;
class OAnalogData;

// VT_R8 for a scaled tag that is neither STRING nor BOOL (the scaling yields doubles); else
// the tag's own type.
VarType ServedValueType(const OModbusTag& tag);
// The tag's analog scaling when it converts and the tag is not BOOL; else null.
const OAnalogData* ActiveAnalogScaling(const OModbusTag& tag);

}  // namespace velk
