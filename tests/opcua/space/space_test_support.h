#pragma once
// A small plant in a document, the address space over it and a session's service context,
// for the address space and service tests. The plant: device Line1 with group Pumps
// (tags Speed: INT scaled 0..10000 -> 0..1500 rpm, read/write; Running: BOOL read-only;
// Count: UINT read-only) and a tag Mode (LONG) directly in the device.
#include <memory>
#include <string>

#include "model/c_doc.h"
#include "model/o_analog_data.h"
#include "opcua/space/address_space.h"
#include "opcua/space/namespace_zero.h"
#include "opcua/space/plant_nodes.h"
#include "opcua/space/read_service.h"
#include "opcua/space/service_context.h"
#include "opcua/space/standard_node_ids.h"
#include "opcua/space/stored_tag_values.h"
#include "tests/model/model_tree.h"
#include "tests/support/fake_clock.h"

namespace velk::ua::test {

inline NodeId Ns0(std::uint32_t id) { return NodeId::Numeric(0, id); }
inline NodeId Plant(const std::string& id) { return NodeId::String(kPlantNamespaceIndex, id); }

class SpaceFixture {
  public:
    explicit SpaceFixture(ServiceLimits limits = {})
        : limits_(limits),
          document(CDocServices{}, ModelSettings{}),
          zero(ServerDescription{}, limits_, clock),
          plant(document),
          space(zero, &plant),
          values(document, plant),
          session(limits_.maxBrowseContinuationPoints),
          context{space, values, clock, limits_, session} {
        ODevice& line = velk::testing::InsertDevice(document, "Line1");
        pumps = &velk::testing::InsertGroup(line, "Pumps");
        pumps->description = "Feed pumps";
        speed = &AddTag(*pumps, "Speed", VT_I2, kAccessReadable | kAccessWritable);
        speed->description = "Shaft speed";
        auto* scaling = dynamic_cast<OAnalogData*>(speed->scaling.get());
        scaling->conversion = OAnalogData::kLinear;
        scaling->engineeringMaximum = 1500.0;
        scaling->rawMaximum = 10000.0;
        scaling->units = "rpm";
        AddTag(*pumps, "Running", VT_BOOL, kAccessReadable);
        AddTag(*pumps, "Count", VT_UI2, kAccessReadable);
        AddTag(line, "Mode", VT_I4, kAccessReadable | kAccessWritable);
    }

    OModbusTag& AddTag(OTagGroup& group, const std::string& name, std::uint16_t type,
                       std::uint16_t rights) {
        auto tag = std::make_unique<OModbusTag>();
        tag->name = name;
        tag->locationKind = kHoldingRegister;
        tag->SetDataType(type);
        tag->accessRights = rights;
        OModbusTag* added = tag.get();
        group.InsertTagByName(tag);
        document.RegisterTag(group, added);
        return *added;
    }

    DataValue ReadAttribute(const NodeId& id, AttributeId attribute) {
        ReadRequest request;
        request.nodesToRead.push_back({id, static_cast<std::uint32_t>(attribute), "", {}});
        ReadResponse response = Read(context, request);
        return response.results.empty() ? DataValue{} : response.results.front();
    }

  private:
    ServiceLimits limits_;

  public:
    velk::testing::FakeClock clock;
    CDoc document;
    NamespaceZero zero;
    PlantNodes plant;
    AddressSpace space;
    StoredTagValues values;
    SessionSpaceState session;
    ServiceContext context;
    OTagGroup* pumps = nullptr;
    OModbusTag* speed = nullptr;
};

}  // namespace velk::ua::test
