#pragma once
// The tag value reader over the value records the scan keeps: the last stored value, its
// quality and time stamp, whatever the maximum age asked for. The reader that goes to the
// controller for values older than that wraps the scan engine in a layer that has it.
#include "opcua/space/service_context.h"

namespace velk {
class CDoc;
}

namespace velk::ua {

class PlantNodes;

class StoredTagValues final : public ITagValueReader {
  public:
    // Both outlive the reader.
    StoredTagValues(const CDoc& document, const PlantNodes& plant)
        : document_(document), plant_(plant) {}

    // Takes TreeLock, then TagDataLock for the value record.
    DataValue ReadTagValue(const NodeId& node, double maxAgeMs) override;

  private:
    const CDoc& document_;
    const PlantNodes& plant_;
};

}  // namespace velk::ua
