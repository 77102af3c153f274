#pragma once
// How the DA objects reach the devices: read a device's tag list now, write one tag. The
// scan engine implements it (ScanEngineTagIO); tests use a fake.
#include <cstdint>

#include "model/tag_list.h"
#include "model/variant.h"
#include "opc/opc_result.h"

namespace velk {

class ODevice;
class OModbusTag;

class ITagIO {
  public:
    virtual ~ITagIO() = default;
    // Reads the tags (location order) from the device and updates their value records;
    // failures show only in the tags' qualities.
    virtual void ReadTags(ODevice& device, const TagList& tags) = 0;
    // The same read for a group's update whose current period began at the tick count
    // periodStartTick: a block that another reader's request, issued since then, brought may
    // be taken instead of sending a request of its own.
    virtual void ReadTagsInPeriod(ODevice& device, const TagList& tags,
                                  std::uint32_t /*periodStartTick*/) {
        ReadTags(device, tags);
    }
    // Writes one engineering value; OPC_E_BADRIGHTS without write access, E_FAIL when the
    // controller did not confirm, a conversion error as is, S_OK otherwise.
    virtual HRESULT WriteTag(ODevice& device, OModbusTag& tag, const Variant& value) = 0;
};

}  // namespace velk
