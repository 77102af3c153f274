#pragma once
// The tag I/O of the DA objects over the tag scan engine.
#include "opc/tag_io.h"

namespace velk {

class ScanEngine;

class ScanEngineTagIO final : public ITagIO {
  public:
    explicit ScanEngineTagIO(ScanEngine& engine) : engine_(engine) {}
    void ReadTags(ODevice& device, const TagList& tags) override;
    void ReadTagsInPeriod(ODevice& device, const TagList& tags,
                          std::uint32_t periodStartTick) override;
    HRESULT WriteTag(ODevice& device, OModbusTag& tag, const Variant& value) override;

  private:
    ScanEngine& engine_;
};

}  // namespace velk
