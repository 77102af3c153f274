#pragma once
// The tag values of the Read service with MaxAge: a stored value younger than MaxAge as the
// scan keeps it, else (and always with MaxAge 0) the controller's, read as DA's device read
// reads it (ITagIO::ReadTags on the device's reader). A request's tags are read in Refresh,
// once per device, the devices in parallel, each bounded by its own time-outs.
#include <vector>

#include "opc/tag_io.h"
#include "opcua/space/service_context.h"

namespace velk {

class CDoc;
class IClock;
class IDeviceWork;

namespace ua {
class PlantNodes;
}

class PlantTagValues final : public ua::ITagValueReader {
  public:
    // All outlive the reader.
    PlantTagValues(const CDoc& document, const ua::PlantNodes& plant, ITagIO& tagIO,
                   IDeviceWork& deviceReads, const IClock& clock)
        : document_(document),
          plant_(plant),
          tagIO_(tagIO),
          deviceReads_(deviceReads),
          clock_(clock) {}

    // Reads the stale tags among the nodes, one read per device; what it read is taken by
    // this thread's next ReadTagValue calls without reading again. Takes TreeLock.
    void Refresh(const std::vector<ua::NodeId>& nodes, double maxAgeMs) override;
    // A tag Refresh did not read is read alone when stale. Takes TreeLock.
    ua::DataValue ReadTagValue(const ua::NodeId& node, double maxAgeMs) override;

  private:
    const CDoc& document_;
    const ua::PlantNodes& plant_;
    ITagIO& tagIO_;
    IDeviceWork& deviceReads_;
    const IClock& clock_;
};

}  // namespace velk
