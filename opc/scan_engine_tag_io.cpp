#include "opc/scan_engine_tag_io.h"

#include "modbus/scan_engine.h"
#include "model/o_tag.h"
#include "opc/opc_result.h"

namespace velk {

// The engine's write results reach the client unchanged.
static_assert(kTagNotWritable == OPC_E_BADRIGHTS);

void ScanEngineTagIO::ReadTags(ODevice& device, const TagList& tags) {
    engine_.ReadTags(device, tags);
}

void ScanEngineTagIO::ReadTagsInPeriod(ODevice& device, const TagList& tags,
                                       std::uint32_t periodStartTick) {
    engine_.ReadTags(device, tags, periodStartTick);
}

HRESULT ScanEngineTagIO::WriteTag(ODevice& device, OModbusTag& tag, const Variant& value) {
    return engine_.WriteTag(device, tag, value);
}

}  // namespace velk
