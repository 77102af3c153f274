#include "opcda/item_rules.h"

#include "model/o_analog_data.h"
#include "model/o_modbus_tag.h"
#include "opc/tag_serving.h"
#include "opcda/opc_da_types.h"

namespace velk {

VarType CanonicalType(const OModbusTag& tag) {
    const VarType served = ServedValueType(tag);
    return served == VT_UI2 ? VT_I4 : served;
}

std::uint32_t ItemAccessRights(const OModbusTag& tag) {
    std::uint32_t rights = 0;
    if (tag.accessRights & kAccessReadable) rights |= OPC_READABLE;
    if (tag.accessRights & kAccessWritable) rights |= OPC_WRITEABLE;
    return rights;
}

std::uint32_t AttributeAccessRights(const OModbusTag& tag) {
    const bool readOnly =
        (tag.accessRights & kAccessReadable) != 0 && (tag.accessRights & kAccessWritable) == 0;
    return readOnly ? OPC_READABLE : (OPC_READABLE | OPC_WRITEABLE);
}

bool IsReadable(const OModbusTag& tag) { return (tag.accessRights & kAccessReadable) != 0; }

Variant ValueAsServed(const OModbusTag& tag) { return tag.GetValue(); }

}  // namespace velk
