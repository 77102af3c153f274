#include "opcua/space/namespace_zero.h"

#include <utility>

#include "opcua/space/standard_node_ids.h"
#include "platform/clock.h"

namespace velk::ua {

namespace {

using namespace ids;

NodeId Ns0Node(std::uint32_t id) { return NodeId::Numeric(0, id); }

Variant StringArray(const std::vector<std::string>& texts) {
    std::vector<VariantScalar> elements;
    for (const std::string& t : texts) elements.emplace_back(t);
    return Variant::Array(BuiltinType::kString, std::move(elements));
}

}  // namespace

NamespaceZero::NamespaceZero(ServerDescription server, ServiceLimits limits, const IClock& clock)
    : server_(std::move(server)), limits_(limits), clock_(clock) {
    BuildFolders();
    BuildReferenceTypes();
    BuildDataTypes();
    BuildObjectAndVariableTypes();
    BuildServer();
}

Node& NamespaceZero::Add(std::uint32_t id, NodeClass nodeClass, const std::string& name) {
    Node& node = nodes_[id];
    node.nodeId = Ns0Node(id);
    node.nodeClass = nodeClass;
    node.browseName = {0, name};
    node.displayName = {"", name};
    return node;
}

// A reference in both directions: forward at the source, inverse at the target.
void NamespaceZero::Link(std::uint32_t source, std::uint32_t referenceType, std::uint32_t target) {
    nodes_[source].references.push_back({Ns0Node(referenceType), true, Ns0Node(target)});
    nodes_[target].references.push_back({Ns0Node(referenceType), false, Ns0Node(source)});
}

void NamespaceZero::AddFolder(std::uint32_t id, const std::string& name, std::uint32_t parent) {
    AddObject(id, name, parent, kOrganizes, kFolderType);
}

void NamespaceZero::AddObject(std::uint32_t id, const std::string& name, std::uint32_t parent,
                              std::uint32_t reference, std::uint32_t typeDefinition) {
    Node& node = Add(id, NodeClass::kObject, name);
    node.eventNotifier = 0;
    node.references.push_back({Ns0Node(kHasTypeDefinition), true, Ns0Node(typeDefinition)});
    if (parent != 0) Link(parent, reference, id);
}

void NamespaceZero::AddReferenceType(std::uint32_t id, const std::string& name,
                                     std::uint32_t supertype, const std::string& inverseName,
                                     bool isAbstract, bool symmetric) {
    Node& node = Add(id, NodeClass::kReferenceType, name);
    node.isAbstract = isAbstract;
    node.symmetric = symmetric;
    if (!inverseName.empty()) node.inverseName = LocalizedText{"", inverseName};
    if (supertype != 0) Link(supertype, kHasSubtype, id);
}

void NamespaceZero::AddType(std::uint32_t id, NodeClass nodeClass, const std::string& name,
                            std::uint32_t supertype, bool isAbstract) {
    Node& node = Add(id, nodeClass, name);
    node.isAbstract = isAbstract;
    if (supertype != 0) Link(supertype, kHasSubtype, id);
}

void NamespaceZero::AddVariableType(std::uint32_t id, const std::string& name,
                                    std::uint32_t supertype, std::uint32_t dataType,
                                    std::int32_t valueRank, bool isAbstract) {
    AddType(id, NodeClass::kVariableType, name, supertype, isAbstract);
    Node& node = nodes_[id];
    node.dataType = Ns0Node(dataType);
    node.valueRank = valueRank;
    node.arrayDimensions = std::vector<std::uint32_t>{};
    node.value = Variant{};
}

Node& NamespaceZero::AddVariable(std::uint32_t id, const std::string& name, std::uint32_t parent,
                                 std::uint32_t reference, std::uint32_t typeDefinition,
                                 std::uint32_t dataType, Variant value, std::int32_t valueRank) {
    Node& node = Add(id, NodeClass::kVariable, name);
    node.value = std::move(value);
    node.dataType = Ns0Node(dataType);
    node.valueRank = valueRank;
    node.arrayDimensions = valueRank == kValueRankOneDimension ? std::vector<std::uint32_t>{0}
                                                               : std::vector<std::uint32_t>{};
    node.accessLevel = kAccessCurrentRead;
    node.userAccessLevel = kAccessCurrentRead;
    node.minimumSamplingInterval = 1000.0;
    node.historizing = false;
    node.references.push_back({Ns0Node(kHasTypeDefinition), true, Ns0Node(typeDefinition)});
    Link(parent, reference, id);
    return node;
}

void NamespaceZero::BuildFolders() {
    Node& root = Add(kRootFolder, NodeClass::kObject, "Root");
    root.eventNotifier = 0;
    root.references.push_back({Ns0Node(kHasTypeDefinition), true, Ns0Node(kFolderType)});
    AddFolder(kObjectsFolder, "Objects", kRootFolder);
    AddFolder(kTypesFolder, "Types", kRootFolder);
    AddFolder(kViewsFolder, "Views", kRootFolder);
    AddFolder(kObjectTypesFolder, "ObjectTypes", kTypesFolder);
    AddFolder(kVariableTypesFolder, "VariableTypes", kTypesFolder);
    AddFolder(kDataTypesFolder, "DataTypes", kTypesFolder);
    AddFolder(kReferenceTypesFolder, "ReferenceTypes", kTypesFolder);
}

void NamespaceZero::BuildReferenceTypes() {
    AddReferenceType(kReferences, "References", 0, "", true, true);
    Link(kReferenceTypesFolder, kOrganizes, kReferences);
    AddReferenceType(kHierarchicalReferences, "HierarchicalReferences", kReferences,
                     "InverseHierarchicalReferences", true);
    AddReferenceType(kNonHierarchicalReferences, "NonHierarchicalReferences", kReferences, "", true,
                     true);
    AddReferenceType(kHasChild, "HasChild", kHierarchicalReferences, "ChildOf", true);
    AddReferenceType(kAggregates, "Aggregates", kHasChild, "AggregatedBy", true);
    AddReferenceType(kHasProperty, "HasProperty", kAggregates, "PropertyOf", false);
    AddReferenceType(kHasComponent, "HasComponent", kAggregates, "ComponentOf", false);
    AddReferenceType(kHasOrderedComponent, "HasOrderedComponent", kHasComponent,
                     "OrderedComponentOf", false);
    AddReferenceType(kHasSubtype, "HasSubtype", kHasChild, "SubtypeOf", false);
    AddReferenceType(kOrganizes, "Organizes", kHierarchicalReferences, "OrganizedBy", false);
    AddReferenceType(kHasEventSource, "HasEventSource", kHierarchicalReferences, "EventSourceOf",
                     false);
    AddReferenceType(kHasNotifier, "HasNotifier", kHasEventSource, "NotifierOf", false);
    AddReferenceType(kHasModellingRule, "HasModellingRule", kNonHierarchicalReferences,
                     "ModellingRuleOf", false);
    AddReferenceType(kHasEncoding, "HasEncoding", kNonHierarchicalReferences, "EncodingOf", false);
    AddReferenceType(kHasDescription, "HasDescription", kNonHierarchicalReferences, "DescriptionOf",
                     false);
    AddReferenceType(kHasTypeDefinition, "HasTypeDefinition", kNonHierarchicalReferences,
                     "TypeDefinitionOf", false);
    AddReferenceType(kGeneratesEvent, "GeneratesEvent", kNonHierarchicalReferences, "GeneratedBy",
                     false);
}

void NamespaceZero::BuildDataTypes() {
    struct DataTypeRow {
        std::uint32_t id;
        const char* name;
        std::uint32_t supertype;
        bool isAbstract;
    };
    // Supertypes before their subtypes.
    static constexpr DataTypeRow kRows[] = {
        {kBaseDataType, "BaseDataType", 0, true},
        {kBoolean, "Boolean", kBaseDataType, false},
        {kNumber, "Number", kBaseDataType, true},
        {kInteger, "Integer", kNumber, true},
        {kUInteger, "UInteger", kNumber, true},
        {kSByte, "SByte", kInteger, false},
        {kInt16, "Int16", kInteger, false},
        {kInt32, "Int32", kInteger, false},
        {kInt64, "Int64", kInteger, false},
        {kByte, "Byte", kUInteger, false},
        {kUInt16, "UInt16", kUInteger, false},
        {kUInt32, "UInt32", kUInteger, false},
        {kUInt64, "UInt64", kUInteger, false},
        {kFloat, "Float", kNumber, false},
        {kDouble, "Double", kNumber, false},
        {kDuration, "Duration", kDouble, false},
        {kString, "String", kBaseDataType, false},
        {kLocaleId, "LocaleId", kString, false},
        {kDateTime, "DateTime", kBaseDataType, false},
        {kUtcTime, "UtcTime", kDateTime, false},
        {kGuid, "Guid", kBaseDataType, false},
        {kByteString, "ByteString", kBaseDataType, false},
        {kXmlElement, "XmlElement", kBaseDataType, false},
        {kNodeId, "NodeId", kBaseDataType, false},
        {kExpandedNodeId, "ExpandedNodeId", kBaseDataType, false},
        {kStatusCode, "StatusCode", kBaseDataType, false},
        {kQualifiedName, "QualifiedName", kBaseDataType, false},
        {kLocalizedText, "LocalizedText", kBaseDataType, false},
        {kStructure, "Structure", kBaseDataType, true},
        {kRange, "Range", kStructure, false},
        {kEUInformation, "EUInformation", kStructure, false},
        {kBuildInfo, "BuildInfo", kStructure, false},
        {kServerStatusDataType, "ServerStatusDataType", kStructure, false},
        {kDataValue, "DataValue", kBaseDataType, false},
        {kDiagnosticInfo, "DiagnosticInfo", kBaseDataType, false},
        {kEnumeration, "Enumeration", kBaseDataType, true},
        {kServerState, "ServerState", kEnumeration, false},
    };
    for (const DataTypeRow& row : kRows)
        AddType(row.id, NodeClass::kDataType, row.name, row.supertype, row.isAbstract);
    Link(kDataTypesFolder, kOrganizes, kBaseDataType);
}

void NamespaceZero::BuildObjectAndVariableTypes() {
    AddType(kBaseObjectType, NodeClass::kObjectType, "BaseObjectType", 0, false);
    Link(kObjectTypesFolder, kOrganizes, kBaseObjectType);
    AddType(kFolderType, NodeClass::kObjectType, "FolderType", kBaseObjectType, false);
    AddType(kServerType, NodeClass::kObjectType, "ServerType", kBaseObjectType, false);
    AddType(kServerCapabilitiesType, NodeClass::kObjectType, "ServerCapabilitiesType",
            kBaseObjectType, false);
    AddType(kOperationLimitsType, NodeClass::kObjectType, "OperationLimitsType", kFolderType,
            false);

    AddVariableType(kBaseVariableType, "BaseVariableType", 0, kBaseDataType, kValueRankAny, true);
    Link(kVariableTypesFolder, kOrganizes, kBaseVariableType);
    AddVariableType(kBaseDataVariableType, "BaseDataVariableType", kBaseVariableType, kBaseDataType,
                    kValueRankAny, false);
    AddVariableType(kPropertyType, "PropertyType", kBaseVariableType, kBaseDataType, kValueRankAny,
                    false);
    AddVariableType(kDataItemType, "DataItemType", kBaseDataVariableType, kBaseDataType,
                    kValueRankAny, false);
    AddVariableType(kBaseAnalogType, "BaseAnalogType", kDataItemType, kNumber, kValueRankAny,
                    false);
    AddVariableType(kAnalogItemType, "AnalogItemType", kBaseAnalogType, kNumber, kValueRankAny,
                    false);
    AddVariableType(kDiscreteItemType, "DiscreteItemType", kDataItemType, kBaseDataType,
                    kValueRankScalar, true);
    AddVariableType(kTwoStateDiscreteType, "TwoStateDiscreteType", kDiscreteItemType, kBoolean,
                    kValueRankScalar, false);
    AddVariableType(kMultiStateDiscreteType, "MultiStateDiscreteType", kDiscreteItemType, kUInteger,
                    kValueRankScalar, false);
    AddVariableType(kServerStatusType, "ServerStatusType", kBaseDataVariableType,
                    kServerStatusDataType, kValueRankScalar, false);
    AddVariableType(kBuildInfoType, "BuildInfoType", kBaseDataVariableType, kBuildInfo,
                    kValueRankScalar, false);
}

void NamespaceZero::BuildServer() {
    AddObject(kServer, "Server", kObjectsFolder, kOrganizes, kServerType);
    AddVariable(kServerArray, "ServerArray", kServer, kHasProperty, kPropertyType, kString,
                StringArray({server_.applicationUri}), kValueRankOneDimension);
    AddVariable(kNamespaceArray, "NamespaceArray", kServer, kHasProperty, kPropertyType, kString,
                StringArray(NamespaceUris()), kValueRankOneDimension);
    AddVariable(kServiceLevel, "ServiceLevel", kServer, kHasProperty, kPropertyType, kByte,
                Variant::Scalar(server_.serviceLevel));

    const BuildInfo& build = server_.buildInfo;
    AddVariable(kServerStatus, "ServerStatus", kServer, kHasComponent, kServerStatusType,
                kServerStatusDataType, {});
    AddVariable(kServerStatusStartTime, "StartTime", kServerStatus, kHasComponent,
                kBaseDataVariableType, kUtcTime, Variant::Scalar(server_.startTime));
    AddVariable(kServerStatusCurrentTime, "CurrentTime", kServerStatus, kHasComponent,
                kBaseDataVariableType, kUtcTime, {});
    AddVariable(kServerStatusState, "State", kServerStatus, kHasComponent, kBaseDataVariableType,
                kServerState, Variant::Scalar(static_cast<std::int32_t>(ServerState::kRunning)));
    AddVariable(kServerStatusBuildInfo, "BuildInfo", kServerStatus, kHasComponent, kBuildInfoType,
                kBuildInfo, Variant::Scalar(ToExtensionObject(build)));
    AddVariable(kBuildInfoProductUri, "ProductUri", kServerStatusBuildInfo, kHasComponent,
                kBaseDataVariableType, kString, Variant::Scalar(build.productUri));
    AddVariable(kBuildInfoManufacturerName, "ManufacturerName", kServerStatusBuildInfo,
                kHasComponent, kBaseDataVariableType, kString,
                Variant::Scalar(build.manufacturerName));
    AddVariable(kBuildInfoProductName, "ProductName", kServerStatusBuildInfo, kHasComponent,
                kBaseDataVariableType, kString, Variant::Scalar(build.productName));
    AddVariable(kBuildInfoSoftwareVersion, "SoftwareVersion", kServerStatusBuildInfo, kHasComponent,
                kBaseDataVariableType, kString, Variant::Scalar(build.softwareVersion));
    AddVariable(kBuildInfoBuildNumber, "BuildNumber", kServerStatusBuildInfo, kHasComponent,
                kBaseDataVariableType, kString, Variant::Scalar(build.buildNumber));
    AddVariable(kBuildInfoBuildDate, "BuildDate", kServerStatusBuildInfo, kHasComponent,
                kBaseDataVariableType, kUtcTime, Variant::Scalar(build.buildDate));
    AddVariable(kServerStatusSecondsTillShutdown, "SecondsTillShutdown", kServerStatus,
                kHasComponent, kBaseDataVariableType, kUInt32, Variant::Scalar(std::uint32_t{0}));
    AddVariable(kServerStatusShutdownReason, "ShutdownReason", kServerStatus, kHasComponent,
                kBaseDataVariableType, kLocalizedText, Variant::Scalar(LocalizedText{}));

    AddObject(kServerCapabilities, "ServerCapabilities", kServer, kHasComponent,
              kServerCapabilitiesType);
    AddVariable(kServerProfileArray, "ServerProfileArray", kServerCapabilities, kHasProperty,
                kPropertyType, kString,
                StringArray({"http://opcfoundation.org/UA-Profile/Server/MicroEmbeddedDevice"}),
                kValueRankOneDimension);
    AddVariable(kLocaleIdArray, "LocaleIdArray", kServerCapabilities, kHasProperty, kPropertyType,
                kLocaleId, StringArray({"en"}), kValueRankOneDimension);
    AddVariable(kMinSupportedSampleRate, "MinSupportedSampleRate", kServerCapabilities,
                kHasProperty, kPropertyType, kDuration, Variant::Scalar(0.0));
    AddVariable(kMaxBrowseContinuationPoints, "MaxBrowseContinuationPoints", kServerCapabilities,
                kHasProperty, kPropertyType, kUInt16,
                Variant::Scalar(limits_.maxBrowseContinuationPoints));
    AddVariable(kMaxArrayLength, "MaxArrayLength", kServerCapabilities, kHasProperty, kPropertyType,
                kUInt32, Variant::Scalar(limits_.maxArrayLength));
    AddVariable(kMaxStringLength, "MaxStringLength", kServerCapabilities, kHasProperty,
                kPropertyType, kUInt32, Variant::Scalar(limits_.maxStringLength));

    AddObject(kOperationLimits, "OperationLimits", kServerCapabilities, kHasComponent,
              kOperationLimitsType);
    const std::pair<std::uint32_t, std::pair<const char*, std::uint32_t>> kLimits[] = {
        {kMaxNodesPerRead, {"MaxNodesPerRead", limits_.maxNodesPerRead}},
        {kMaxNodesPerWrite, {"MaxNodesPerWrite", limits_.maxNodesPerWrite}},
        {kMaxNodesPerMethodCall, {"MaxNodesPerMethodCall", 0}},
        {kMaxNodesPerBrowse, {"MaxNodesPerBrowse", limits_.maxNodesPerBrowse}},
        {kMaxNodesPerRegisterNodes, {"MaxNodesPerRegisterNodes", limits_.maxNodesPerRegisterNodes}},
        {kMaxNodesPerTranslateBrowsePathsToNodeIds,
         {"MaxNodesPerTranslateBrowsePathsToNodeIds",
          limits_.maxNodesPerTranslateBrowsePathsToNodeIds}},
        {kMaxNodesPerNodeManagement, {"MaxNodesPerNodeManagement", 0}},
        {kMaxMonitoredItemsPerCall, {"MaxMonitoredItemsPerCall", limits_.maxMonitoredItemsPerCall}},
    };
    for (const auto& [id, limit] : kLimits)
        AddVariable(id, limit.first, kOperationLimits, kHasProperty, kPropertyType, kUInt32,
                    Variant::Scalar(limit.second));
}

std::vector<std::string> NamespaceZero::NamespaceUris() const {
    return {kStandardNamespaceUri, kPlantNamespaceUri};
}

ServerStatusDataType NamespaceZero::Status() const {
    ServerStatusDataType status;
    status.startTime = server_.startTime;
    status.currentTime = DateTime{static_cast<std::int64_t>(clock_.NowUtc())};
    status.buildInfo = server_.buildInfo;
    return status;
}

void NamespaceZero::FillLiveValue(Node& node) const {
    const auto* id = std::get_if<std::uint32_t>(&node.nodeId.identifier);
    if (id == nullptr) return;
    if (*id == kServerStatus) node.value = Variant::Scalar(ToExtensionObject(Status()));
    if (*id == kServerStatusCurrentTime) node.value = Variant::Scalar(Status().currentTime);
}

std::optional<Node> NamespaceZero::FindNode(std::uint32_t id) const {
    const auto found = nodes_.find(id);
    if (found == nodes_.end()) return std::nullopt;
    Node node = found->second;
    FillLiveValue(node);
    return node;
}

std::uint32_t NamespaceZero::SupertypeOf(std::uint32_t id) const {
    const auto found = nodes_.find(id);
    if (found == nodes_.end()) return 0;
    for (const Reference& r : found->second.references)
        if (!r.isForward && r.referenceTypeId == Ns0Node(kHasSubtype))
            if (const auto* super = std::get_if<std::uint32_t>(&r.targetId.identifier))
                return *super;
    return 0;
}

}  // namespace velk::ua
