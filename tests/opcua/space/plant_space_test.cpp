// The plant's nodes over a configuration made here: browsing from Objects to a tag, browse
// paths to NodeIds, the attributes a tag's type, rights and scaling give, the values and
// their status, unknown nodes and attributes, and a tag deleted from the tree.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "opcua/space/browse_service.h"
#include "opcua/space/tag_value_mapping.h"
#include "opcua/space/translate_browse_paths_service.h"
#include "opcua/space/value_structures.h"
#include "opcua/status_codes.h"
#include "tests/opcua/space/space_test_support.h"

namespace velk::ua {
namespace {

using test::Ns0;
using test::Plant;
using test::SpaceFixture;

BrowseResult BrowseForward(SpaceFixture& f, const NodeId& id) {
    BrowseRequest request;
    request.nodesToBrowse.push_back(
        {id, BrowseDirection::kForward, Ns0(ids::kHierarchicalReferences), true, 0, kResultAll});
    BrowseResponse response = Browse(f.context, request);
    EXPECT_EQ(response.responseHeader.serviceResult, kGood);
    return response.results.at(0);
}

const ReferenceDescription* ByName(const BrowseResult& result, const std::string& name) {
    for (const ReferenceDescription& r : result.references)
        if (r.browseName.name == name) return &r;
    return nullptr;
}

BrowsePathResult TranslatePath(SpaceFixture& f, const NodeId& start,
                               const std::vector<QualifiedName>& names) {
    TranslateBrowsePathsToNodeIdsRequest request;
    BrowsePath path{start, {}};
    for (const QualifiedName& name : names)
        path.relativePath.elements.push_back(
            {Ns0(ids::kHierarchicalReferences), false, true, name});
    request.browsePaths.push_back(path);
    return TranslateBrowsePathsToNodeIds(f.context, request).results.at(0);
}

template <class S>
S DecodeStructure(const DataValue& value) {
    S decoded{};
    const auto* object = std::get_if<ExtensionObject>(&value.value->scalar);
    EXPECT_NE(object, nullptr);
    if (object == nullptr) return decoded;
    BinaryReader outer(std::span<const std::uint8_t>{});
    EXPECT_EQ(FromExtensionObject(*object, decoded, outer), kGood);
    return decoded;
}

TEST(UaPlantSpaceTest, BrowsesFromObjectsThroughDeviceAndGroupToTheTags) {
    SpaceFixture f;
    const BrowseResult objects = BrowseForward(f, Ns0(ids::kObjectsFolder));
    ASSERT_NE(ByName(objects, "Server"), nullptr);
    const ReferenceDescription* line = ByName(objects, "Line1");
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->nodeId.nodeId, Plant("Line1."));
    EXPECT_EQ(line->nodeClass, NodeClass::kObject);
    EXPECT_EQ(line->typeDefinition.nodeId, Ns0(ids::kFolderType));
    EXPECT_EQ(line->referenceTypeId, Ns0(ids::kOrganizes));

    const BrowseResult device = BrowseForward(f, line->nodeId.nodeId);
    ASSERT_NE(ByName(device, "Pumps"), nullptr);
    ASSERT_NE(ByName(device, "Mode"), nullptr);
    EXPECT_EQ(ByName(device, "Mode")->nodeId.nodeId, Plant("Line1.Mode"));

    const BrowseResult group = BrowseForward(f, ByName(device, "Pumps")->nodeId.nodeId);
    const ReferenceDescription* speed = ByName(group, "Speed");
    ASSERT_NE(speed, nullptr);
    EXPECT_EQ(speed->nodeId.nodeId, Plant("Line1.Pumps.Speed"));
    EXPECT_EQ(speed->browseName.namespaceIndex, kPlantNamespaceIndex);
    EXPECT_EQ(speed->nodeClass, NodeClass::kVariable);
    EXPECT_EQ(speed->typeDefinition.nodeId, Ns0(ids::kAnalogItemType));
    EXPECT_EQ(ByName(group, "Count")->typeDefinition.nodeId, Ns0(ids::kDataItemType));
    // The tag's properties hang below it, not below the group.
    EXPECT_EQ(ByName(group, "EURange"), nullptr);
    EXPECT_NE(ByName(BrowseForward(f, speed->nodeId.nodeId), "EURange"), nullptr);
}

TEST(UaPlantSpaceTest, TranslatesBrowsePathsToTheirNodeIds) {
    SpaceFixture f;
    const std::uint16_t p = kPlantNamespaceIndex;
    struct Case {
        const char* name;
        NodeId start;
        std::vector<QualifiedName> path;
        StatusCode status;
        NodeId target;
    };
    const Case cases[] = {
        {"tag",
         Ns0(ids::kObjectsFolder),
         {{p, "Line1"}, {p, "Pumps"}, {p, "Speed"}},
         kGood,
         Plant("Line1.Pumps.Speed")},
        {"property",
         Ns0(ids::kObjectsFolder),
         {{p, "Line1"}, {p, "Pumps"}, {p, "Speed"}, {0, "EURange"}},
         kGood,
         Plant("Line1.Pumps.Speed..EURange")},
        {"server state",
         Ns0(ids::kRootFolder),
         {{0, "Objects"}, {0, "Server"}, {0, "ServerStatus"}, {0, "State"}},
         kGood,
         Ns0(ids::kServerStatusState)},
        {"name in the wrong namespace", Ns0(ids::kObjectsFolder), {{0, "Line1"}}, kBadNoMatch, {}},
        {"no such tag",
         Ns0(ids::kObjectsFolder),
         {{p, "Line1"}, {p, "Pumps"}, {p, "Flow"}},
         kBadNoMatch,
         {}},
        {"empty name", Ns0(ids::kObjectsFolder), {{p, ""}}, kBadBrowseNameInvalid, {}},
        {"unknown start", Plant("Line9."), {{p, "Pumps"}}, kBadNodeIdUnknown, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const BrowsePathResult result = TranslatePath(f, c.start, c.path);
        EXPECT_EQ(result.statusCode, c.status);
        if (c.status != kGood) continue;
        ASSERT_EQ(result.targets.size(), 1u);
        EXPECT_EQ(result.targets[0].targetId.nodeId, c.target);
        EXPECT_EQ(result.targets[0].remainingPathIndex, kPathComplete);
    }
}

TEST(UaPlantSpaceTest, DataTypeFollowsTheTagTypeAsServedAndScalingMakesItDouble) {
    SpaceFixture f;
    const std::pair<std::uint16_t, std::uint32_t> cases[] = {
        {VT_BOOL, ids::kBoolean}, {VT_I2, ids::kInt16},    {VT_UI2, ids::kUInt16},
        {VT_I4, ids::kInt32},     {VT_UI4, ids::kUInt32},  {VT_R4, ids::kFloat},
        {VT_R8, ids::kDouble},    {VT_BSTR, ids::kString}, {VT_I8, ids::kInt64},
        {VT_UI8, ids::kUInt64},
    };
    for (const auto& [type, dataType] : cases) {
        SCOPED_TRACE(DataTypeName(type));
        OModbusTag& tag = f.AddTag(*f.pumps, "T" + DataTypeName(type), type, kAccessReadable);
        const DataValue value = f.ReadAttribute(PlantNodes::TagNodeId(tag), AttributeId::kDataType);
        ASSERT_TRUE(value.value.has_value());
        EXPECT_EQ(std::get<NodeId>(value.value->scalar), Ns0(dataType));
    }
    const DataValue scaled = f.ReadAttribute(Plant("Line1.Pumps.Speed"), AttributeId::kDataType);
    EXPECT_EQ(std::get<NodeId>(scaled.value->scalar), Ns0(ids::kDouble));
}

TEST(UaPlantSpaceTest, AccessLevelsFollowTheAccessRights) {
    SpaceFixture f;
    for (const AttributeId attribute : {AttributeId::kAccessLevel, AttributeId::kUserAccessLevel}) {
        EXPECT_EQ(std::get<std::uint8_t>(
                      f.ReadAttribute(Plant("Line1.Pumps.Speed"), attribute).value->scalar),
                  kAccessCurrentRead | kAccessCurrentWrite);
        EXPECT_EQ(std::get<std::uint8_t>(
                      f.ReadAttribute(Plant("Line1.Pumps.Running"), attribute).value->scalar),
                  kAccessCurrentRead);
    }
    OModbusTag& writeOnly = f.AddTag(*f.pumps, "Setpoint", VT_I2, kAccessWritable);
    EXPECT_EQ(f.ReadAttribute(PlantNodes::TagNodeId(writeOnly), AttributeId::kValue).status,
              kBadNotReadable);
}

TEST(UaPlantSpaceTest, ScaledTagCarriesEngineeringAndInstrumentRangesAndUnits) {
    SpaceFixture f;
    const Range eu = DecodeStructure<Range>(
        f.ReadAttribute(Plant("Line1.Pumps.Speed..EURange"), AttributeId::kValue));
    EXPECT_EQ(eu.low, 0.0);
    EXPECT_EQ(eu.high, 1500.0);
    const Range raw = DecodeStructure<Range>(
        f.ReadAttribute(Plant("Line1.Pumps.Speed..InstrumentRange"), AttributeId::kValue));
    EXPECT_EQ(raw.high, 10000.0);
    const EUInformation units = DecodeStructure<EUInformation>(
        f.ReadAttribute(Plant("Line1.Pumps.Speed..EngineeringUnits"), AttributeId::kValue));
    EXPECT_EQ(units.displayName.text, "rpm");
    // An unscaled tag has none of them.
    EXPECT_EQ(f.ReadAttribute(Plant("Line1.Pumps.Count..EURange"), AttributeId::kValue).status,
              kBadNodeIdUnknown);
}

TEST(UaPlantSpaceTest, DescriptionsAndNamesComeFromTheTree) {
    SpaceFixture f;
    const auto text = [&](const NodeId& id, AttributeId a) {
        return std::get<LocalizedText>(f.ReadAttribute(id, a).value->scalar).text;
    };
    EXPECT_EQ(text(Plant("Line1.Pumps.Speed"), AttributeId::kDescription), "Shaft speed");
    EXPECT_EQ(text(Plant("Line1.Pumps."), AttributeId::kDescription), "Feed pumps");
    EXPECT_EQ(text(Plant("Line1.Pumps.Speed"), AttributeId::kDisplayName), "Speed");
    f.speed->description = "Rotor speed";
    EXPECT_EQ(text(Plant("Line1.Pumps.Speed"), AttributeId::kDescription), "Rotor speed");
}

TEST(UaPlantSpaceTest, ValueCarriesTheQualityAsStatusAndTheTagTimeStamp) {
    SpaceFixture f;
    OModbusTag& count = *f.document.FindTag("Line1.Pumps.Count", ".");
    count.value = velk::Variant::UInt16(60000);
    count.timestamp = velk::testing::FileTimeFromCivil(2024, 5, 1, 12);
    const struct {
        std::uint16_t quality;
        StatusCode status;
    } cases[] = {{0xC0, kGood},
                 {0x40, kUncertain},
                 {0x18, kBadNoCommunication},
                 {0x00, kBad},
                 {0x1C, kBadOutOfService}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.quality);
        count.quality = c.quality;
        const DataValue value = f.ReadAttribute(Plant("Line1.Pumps.Count"), AttributeId::kValue);
        EXPECT_EQ(value.status.value_or(kGood), c.status);
        ASSERT_TRUE(value.sourceTimestamp.has_value());
        EXPECT_EQ(value.sourceTimestamp->ticks, static_cast<std::int64_t>(count.timestamp));
        // A UINT stays UInt16, as its DataType says.
        EXPECT_EQ(std::get<std::uint16_t>(value.value->scalar), 60000);
    }
}

TEST(UaTagValueMappingTest, QualitiesBeyondTheNamedOnesKeepTheirMajorState) {
    const std::pair<std::uint16_t, StatusCode> cases[] = {
        {0xD8, kGood},                // good, local override
        {0x54, kUncertain},           // uncertain, sensor not accurate
        {0x04, kBad},                 // bad, configuration error
        {0x1B, kBadNoCommunication},  // communication failure at a limit
        {0x1D, kBadOutOfService},     // out of service, low limited
    };
    for (const auto& [quality, status] : cases) {
        SCOPED_TRACE(quality);
        EXPECT_EQ(StatusFromQuality(quality), status);
    }
}

TEST(UaPlantSpaceTest, UnknownNodesAndAttributesAreRefused) {
    SpaceFixture f;
    const struct {
        const char* name;
        NodeId id;
        std::uint32_t attribute;
        StatusCode status;
    } cases[] = {
        {"no such tag", Plant("Line1.Pumps.Flow"), 13, kBadNodeIdUnknown},
        {"case differs", Plant("line1.pumps.speed"), 13, kBadNodeIdUnknown},
        {"group without its dot", Plant("Line1.Pumps"), 1, kBadNodeIdUnknown},
        {"numeric id in the plant", NodeId::Numeric(kPlantNamespaceIndex, 1), 1, kBadNodeIdUnknown},
        {"unknown namespace", NodeId::String(7, "Line1.Mode"), 1, kBadNodeIdUnknown},
        {"attribute id 0", Plant("Line1.Mode"), 0, kBadAttributeIdInvalid},
        {"attribute beyond the list", Plant("Line1.Mode"), 99, kBadAttributeIdInvalid},
        {"IsAbstract of a variable", Plant("Line1.Mode"), 8, kBadAttributeIdInvalid},
        {"Value of a folder", Plant("Line1."), 13, kBadAttributeIdInvalid},
        {"EventNotifier of a variable", Plant("Line1.Mode"), 12, kBadAttributeIdInvalid},
        {"Symmetric of an object type", Ns0(ids::kFolderType), 9, kBadAttributeIdInvalid},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(f.ReadAttribute(c.id, static_cast<AttributeId>(c.attribute)).status, c.status);
    }
}

TEST(UaPlantSpaceTest, TagDeletedFromTheTreeVanishes) {
    SpaceFixture f;
    ASSERT_EQ(f.ReadAttribute(Plant("Line1.Pumps.Speed"), AttributeId::kNodeClass).status,
              std::nullopt);
    f.document.DestroyTag(*f.pumps, f.speed);
    EXPECT_EQ(f.ReadAttribute(Plant("Line1.Pumps.Speed"), AttributeId::kNodeClass).status,
              kBadNodeIdUnknown);
    EXPECT_EQ(f.ReadAttribute(Plant("Line1.Pumps.Speed"), AttributeId::kValue).status,
              kBadNodeIdUnknown);
    EXPECT_EQ(ByName(BrowseForward(f, Plant("Line1.Pumps.")), "Speed"), nullptr);
    EXPECT_EQ(TranslatePath(f, Plant("Line1.Pumps."), {{kPlantNamespaceIndex, "Speed"}}).statusCode,
              kBadNoMatch);
}

}  // namespace
}  // namespace velk::ua
