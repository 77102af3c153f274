#include "opcua/space/plant_nodes.h"

#include <mutex>

#include "model/c_doc.h"
#include "model/o_analog_data.h"
#include "opc/tag_serving.h"
#include "opcua/space/standard_node_ids.h"
#include "opcua/space/tag_value_mapping.h"
#include "opcua/space/value_structures.h"

namespace velk::ua {

namespace {

using TreeGuard = std::lock_guard<std::recursive_mutex>;

constexpr const char* kPropertySeparator = "..";
constexpr const char* kEURange = "EURange";
constexpr const char* kEngineeringUnits = "EngineeringUnits";
constexpr const char* kInstrumentRange = "InstrumentRange";
// Units given as text only: no UNECE code, so no namespace of codes either.
constexpr std::int32_t kNoUnitId = -1;

NodeId StandardId(std::uint32_t id) { return NodeId::Numeric(0, id); }
NodeId PlantId(std::string id) { return NodeId::String(kPlantNamespaceIndex, std::move(id)); }

Node Named(NodeId id, NodeClass nodeClass, const std::string& name) {
    Node node;
    node.nodeId = std::move(id);
    node.nodeClass = nodeClass;
    node.browseName = {kPlantNamespaceIndex, name};
    node.displayName = {"", name};
    return node;
}

std::uint8_t AccessLevelOf(const OModbusTag& tag) {
    std::uint8_t level = 0;
    if (tag.accessRights & kAccessReadable) level |= kAccessCurrentRead;
    if (tag.accessRights & kAccessWritable) level |= kAccessCurrentWrite;
    return level;
}

NodeId ParentFolderId(const OTagGroup& group) {
    if (group.parent == nullptr || group.parent->parent == nullptr)
        return StandardId(ids::kObjectsFolder);
    return PlantNodes::FolderNodeId(*group.parent);
}

}  // namespace

NodeId PlantNodes::TagNodeId(const OModbusTag& tag) {
    return PlantId(tag.GetFullPath(kItemDelimiter));
}

NodeId PlantNodes::FolderNodeId(const OTagGroup& group) {
    return PlantId(group.GetPathPrefix(kItemDelimiter));
}

const OModbusTag* PlantNodes::FindTag(const std::string& itemId) const {
    const OModbusTag* tag = document_.FindTag(itemId, kItemDelimiter);
    // The tree's lookup ignores ASCII case; a NodeId is exact.
    if (tag == nullptr || tag->GetFullPath(kItemDelimiter) != itemId) return nullptr;
    return tag;
}

const OTagGroup* PlantNodes::FindFolder(const std::string& id) const {
    std::size_t start = 0;
    const OTagGroup* group = &document_.rootGroup;
    while (start < id.size()) {
        const std::size_t end = id.find(kItemDelimiter, start);
        if (end == std::string::npos) return nullptr;
        const std::string name = id.substr(start, end - start);
        const OTagGroup* next = group->FindSubgroup(name);
        if (next == nullptr || next->name != name) return nullptr;
        group = next;
        start = end + 1;
    }
    return group == &document_.rootGroup ? nullptr : group;
}

std::optional<Node> PlantNodes::FindNode(const std::string& id, bool withReferences) const {
    TreeGuard tree(document_.Locks().tree);
    const std::size_t property = id.find(kPropertySeparator);
    if (property != std::string::npos) {
        const OModbusTag* tag = FindTag(id.substr(0, property));
        if (tag == nullptr) return std::nullopt;
        return PropertyNode(*tag, id.substr(property + 2));
    }
    if (!id.empty() && id.back() == kItemDelimiter[0]) {
        const OTagGroup* group = FindFolder(id);
        if (group == nullptr) return std::nullopt;
        return FolderNode(*group, withReferences);
    }
    const OModbusTag* tag = FindTag(id);
    if (tag == nullptr) return std::nullopt;
    return TagNode(*tag, withReferences);
}

void PlantNodes::AppendObjectsReferences(std::vector<Reference>& out) const {
    TreeGuard tree(document_.Locks().tree);
    for (const auto& device : document_.rootGroup.subgroupList)
        out.push_back({StandardId(ids::kOrganizes), true, FolderNodeId(*device)});
}

Node PlantNodes::FolderNode(const OTagGroup& group, bool withReferences) const {
    Node node = Named(FolderNodeId(group), NodeClass::kObject, group.name);
    node.description = {"", group.description};
    node.eventNotifier = 0;
    node.references.push_back(
        {StandardId(ids::kHasTypeDefinition), true, StandardId(ids::kFolderType)});
    if (!withReferences) return node;
    node.references.push_back({StandardId(ids::kOrganizes), false, ParentFolderId(group)});
    for (const auto& sub : group.subgroupList)
        node.references.push_back({StandardId(ids::kOrganizes), true, FolderNodeId(*sub)});
    for (const auto& tag : group.tagList)
        node.references.push_back({StandardId(ids::kOrganizes), true, TagNodeId(*tag)});
    return node;
}

Node PlantNodes::TagNode(const OModbusTag& tag, bool withReferences) const {
    Node node = Named(TagNodeId(tag), NodeClass::kVariable, tag.name);
    node.description = {"", tag.description};
    node.valueOrigin = ValueOrigin::kTag;
    node.dataType = DataTypeOfServedType(ServedValueType(tag));
    node.valueRank = kValueRankScalar;
    node.arrayDimensions = std::vector<std::uint32_t>{};
    node.accessLevel = AccessLevelOf(tag);
    node.userAccessLevel = node.accessLevel;
    // The scan decides when a value changes: no sampling interval of its own.
    node.minimumSamplingInterval = -1.0;
    node.historizing = false;
    const bool analog = ActiveAnalogScaling(tag) != nullptr;
    node.references.push_back({StandardId(ids::kHasTypeDefinition), true,
                               StandardId(analog ? ids::kAnalogItemType : ids::kDataItemType)});
    if (!withReferences) return node;
    if (tag.group != nullptr)
        node.references.push_back({StandardId(ids::kOrganizes), false, FolderNodeId(*tag.group)});
    if (analog) {
        const std::string base = tag.GetFullPath(kItemDelimiter);
        for (const char* name : {kEURange, kEngineeringUnits, kInstrumentRange})
            node.references.push_back(
                {StandardId(ids::kHasProperty), true, PlantId(base + kPropertySeparator + name)});
    }
    return node;
}

std::optional<Node> PlantNodes::PropertyNode(const OModbusTag& tag, const std::string& name) const {
    const OAnalogData* analog = ActiveAnalogScaling(tag);
    if (analog == nullptr) return std::nullopt;
    Variant value;
    std::uint32_t dataType = ids::kRange;
    if (name == kEURange) {
        value = Variant::Scalar(
            ToExtensionObject(Range{analog->engineeringMinimum, analog->engineeringMaximum}));
    } else if (name == kInstrumentRange) {
        value = Variant::Scalar(ToExtensionObject(Range{analog->rawMinimum, analog->rawMaximum}));
    } else if (name == kEngineeringUnits) {
        dataType = ids::kEUInformation;
        value = Variant::Scalar(ToExtensionObject(
            EUInformation{"", kNoUnitId, {"", analog->units}, {"", analog->units}}));
    } else {
        return std::nullopt;
    }
    const std::string itemId = tag.GetFullPath(kItemDelimiter);
    Node node = Named(PlantId(itemId + kPropertySeparator + name), NodeClass::kVariable, name);
    node.browseName.namespaceIndex = 0;  // the standard's property names
    node.value = std::move(value);
    node.dataType = StandardId(dataType);
    node.valueRank = kValueRankScalar;
    node.arrayDimensions = std::vector<std::uint32_t>{};
    node.accessLevel = kAccessCurrentRead;
    node.userAccessLevel = kAccessCurrentRead;
    node.minimumSamplingInterval = -1.0;
    node.historizing = false;
    node.references.push_back(
        {StandardId(ids::kHasTypeDefinition), true, StandardId(ids::kPropertyType)});
    node.references.push_back({StandardId(ids::kHasProperty), false, PlantId(itemId)});
    return node;
}

}  // namespace velk::ua
