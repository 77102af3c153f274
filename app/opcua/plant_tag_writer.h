#pragma once
// The Write of a plant tag's Value through the DA write path: the value converted to the
// tag's served type here, then ITagIO::WriteTag (scaling, range checks, one exchange).
#include "opc/tag_io.h"
#include "opcua/server/ua_server.h"

namespace velk {

class CDoc;

namespace ua {
class PlantNodes;
}

// The status of a write's result: OPC_E_BADRIGHTS BadNotWritable, a range error
// BadOutOfRange, a conversion error BadTypeMismatch, any other failure (the controller did
// not confirm) BadCommunicationError.
ua::StatusCode StatusOfWriteResult(HRESULT result);

class PlantTagWriter final : public ua::ITagValueWriter {
  public:
    // All three outlive the writer.
    PlantTagWriter(const CDoc& document, const ua::PlantNodes& plant, ITagIO& tagIO)
        : document_(document), plant_(plant), tagIO_(tagIO) {}

    // Takes TreeLock to find the tag, never across the exchange (the tag is referenced
    // meanwhile, as a DA item references it).
    ua::StatusCode WriteTagValue(const ua::NodeId& node, const ua::Variant& value) override;

  private:
    const CDoc& document_;
    const ua::PlantNodes& plant_;
    ITagIO& tagIO_;
};

}  // namespace velk
