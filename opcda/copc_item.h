#pragma once
// One item of a DA group: the client's view of one tag, with what was last sent for it.
// Every field is guarded by the group's item lock.
#include <cstdint>

#include "model/variant.h"
#include "opcda/opc_da_types.h"

namespace velk {

class ODevice;
class OModbusTag;

class COPCItem {
  public:
    // Counts the item in the tag's OPC use count (TagDataLock taken).
    COPCItem(OModbusTag& tag, ODevice& device, bool active, std::uint32_t clientHandle,
             VarType requestedType);
    ~COPCItem();
    COPCItem(const COPCItem&) = delete;
    COPCItem& operator=(const COPCItem&) = delete;

    bool active = true;
    std::uint32_t clientHandle = 0;
    VarType requestedType = VT_EMPTY;
    Variant cachedValue;
    std::uint16_t cachedQuality = kQualityNotConnected;
    bool changed = false;
    OModbusTag* tag;
    ODevice* device;
};

}  // namespace velk
