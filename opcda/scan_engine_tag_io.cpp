#include "opcda/scan_engine_tag_io.h"

#include "modbus/scan_engine.h"

namespace velk {

void ScanEngineTagIO::ReadTags(ODevice& device, const TagList& tags) {
    engine_.ReadTags(device, tags);
}

HRESULT ScanEngineTagIO::WriteTag(ODevice& device, OModbusTag& tag, const Variant& value) {
    return engine_.WriteTag(device, tag, value);
}

}  // namespace velk
