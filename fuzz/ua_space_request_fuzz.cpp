// Fuzz target of the address space services' request decoders. The first input byte picks
// the request type (Browse, BrowseNext, TranslateBrowsePathsToNodeIds, Read, RegisterNodes,
// UnregisterNodes), the rest is
// the message body, served over a small plant with tight limits. Every input must be
// answered by that service's response or a ServiceFault, each decoding whole, and the
// session never holds more continuation points than its bound.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>

#include "fuzz/ua_fuzz_support.h"
#include "model/c_doc.h"
#include "model/o_analog_data.h"
#include "opcua/space/browse_next_service.h"
#include "opcua/space/browse_service.h"
#include "opcua/space/namespace_zero.h"
#include "opcua/space/plant_nodes.h"
#include "opcua/space/read_service.h"
#include "opcua/space/register_nodes_service.h"
#include "opcua/space/service_dispatch.h"
#include "opcua/space/stored_tag_values.h"
#include "opcua/space/translate_browse_paths_service.h"

namespace {

using namespace velk;
using namespace velk::ua;

ServiceLimits Tight() {
    ServiceLimits limits;
    limits.maxBrowseContinuationPoints = 3;
    limits.maxReferencesPerNode = 2;
    limits.maxNodesPerBrowse = 16;
    limits.maxNodesPerRead = 16;
    limits.maxNodesPerTranslateBrowsePathsToNodeIds = 16;
    return limits;
}

void AddTag(CDoc& doc, OTagGroup& group, const char* name, std::uint16_t type) {
    auto tag = std::make_unique<OModbusTag>();
    tag->name = name;
    tag->SetDataType(type);
    OModbusTag* added = tag.get();
    group.InsertTagByName(tag);
    doc.RegisterTag(group, added);
}

struct Plant {
    Plant()
        : document(CDocServices{}, ModelSettings{}),
          zero(ServerDescription{}, limits, clock),
          plant(document),
          space(zero, &plant),
          values(document, plant),
          session(limits.maxBrowseContinuationPoints),
          context{space, values, clock, limits, session} {
        auto device = std::make_unique<ODevice>();
        device->name = "D";
        device->parent = &document.rootGroup;
        ODevice* d = device.get();
        std::unique_ptr<OTagGroup> entry = std::move(device);
        document.rootGroup.InsertSubgroupByName(entry);
        document.AdoptDevice(*d);
        AddTag(document, *d, "A", VT_I2);
        AddTag(document, *d, "B", VT_BOOL);
        AddTag(document, *d, "C", VT_R4);
        d->tagList[0]->scaling->conversion = OAnalogData::kLinear;
    }
    ServiceLimits limits = Tight();
    fuzz::FixedClock clock;
    CDoc document;
    NamespaceZero zero;
    PlantNodes plant;
    AddressSpace space;
    StoredTagValues values;
    SessionSpaceState session;
    ServiceContext context;
};

DecodeLimits TightDecode() {
    DecodeLimits limits;
    limits.maxStringLength = 4096;
    limits.maxByteStringLength = 4096;
    limits.maxArrayLength = 4096;
    limits.maxNestingDepth = 16;
    return limits;
}

template <class Request, class Response>
void Serve(Plant& p, std::span<const std::uint8_t> body) {
    const auto answer =
        CallSpaceService(p.context, BinaryEncodingId<Request>(), body, TightDecode());
    if (!answer) std::abort();
    fuzz::CheckServiceAnswer<Response>(*answer);
    if (p.session.continuations.Size() > p.limits.maxBrowseContinuationPoints) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Plant plant;
    if (size == 0) return 0;
    const std::span<const std::uint8_t> body(data + 1, size - 1);
    switch (data[0] % 6) {
        case 0:
            Serve<BrowseRequest, BrowseResponse>(plant, body);
            break;
        case 1:
            Serve<BrowseNextRequest, BrowseNextResponse>(plant, body);
            break;
        case 2:
            Serve<TranslateBrowsePathsToNodeIdsRequest, TranslateBrowsePathsToNodeIdsResponse>(
                plant, body);
            break;
        case 3:
            Serve<ReadRequest, ReadResponse>(plant, body);
            break;
        case 4:
            Serve<RegisterNodesRequest, RegisterNodesResponse>(plant, body);
            break;
        default:
            Serve<UnregisterNodesRequest, UnregisterNodesResponse>(plant, body);
            break;
    }
    return 0;
}
