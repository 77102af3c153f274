#include "opc/tag_serving.h"

#include "model/o_analog_data.h"
#include "model/o_modbus_tag.h"

namespace velk {

VarType ServedValueType(const OModbusTag& tag) {
    const bool scaled = tag.scaling && tag.scaling->conversion != 0;
    if (scaled && tag.dataType != VT_BSTR && tag.dataType != VT_BOOL) return VT_R8;
    return tag.dataType;
}

const OAnalogData* ActiveAnalogScaling(const OModbusTag& tag) {
    if (!tag.scaling || tag.scaling->conversion == 0 || tag.IsBool()) return nullptr;
    return dynamic_cast<const OAnalogData*>(tag.scaling.get());
}

}  // namespace velk
