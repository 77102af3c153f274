#include "opcda/copc_item.h"

#include <mutex>

#include "model/o_device.h"
#include "model/o_modbus_tag.h"
#include "opcda/item_rules.h"

namespace velk {

COPCItem::COPCItem(OModbusTag& tag, ODevice& device, bool active, std::uint32_t clientHandle,
                   VarType requestedType)
    : active(active),
      clientHandle(clientHandle),
      requestedType(requestedType == VT_EMPTY ? CanonicalType(tag) : requestedType),
      tag(&tag),
      device(&device) {
    std::lock_guard lock(device.Locks().tagData);
    ++tag.opcReferenceCount;
}

COPCItem::~COPCItem() {
    std::lock_guard lock(device->Locks().tagData);
    --tag->opcReferenceCount;
}

}  // namespace velk
