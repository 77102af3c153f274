#pragma once
// The numeric NodeIds of namespace 0 that this server serves or refers to, as the standard
// assigns them, and the attribute ids.
#include <cstdint>

namespace velk::ua::ids {

// Reference types.
inline constexpr std::uint32_t kReferences = 31;
inline constexpr std::uint32_t kNonHierarchicalReferences = 32;
inline constexpr std::uint32_t kHierarchicalReferences = 33;
inline constexpr std::uint32_t kHasChild = 34;
inline constexpr std::uint32_t kOrganizes = 35;
inline constexpr std::uint32_t kHasEventSource = 36;
inline constexpr std::uint32_t kHasModellingRule = 37;
inline constexpr std::uint32_t kHasEncoding = 38;
inline constexpr std::uint32_t kHasDescription = 39;
inline constexpr std::uint32_t kHasTypeDefinition = 40;
inline constexpr std::uint32_t kGeneratesEvent = 41;
inline constexpr std::uint32_t kAggregates = 44;
inline constexpr std::uint32_t kHasSubtype = 45;
inline constexpr std::uint32_t kHasProperty = 46;
inline constexpr std::uint32_t kHasComponent = 47;
inline constexpr std::uint32_t kHasNotifier = 48;
inline constexpr std::uint32_t kHasOrderedComponent = 49;

// Data types.
inline constexpr std::uint32_t kBoolean = 1;
inline constexpr std::uint32_t kSByte = 2;
inline constexpr std::uint32_t kByte = 3;
inline constexpr std::uint32_t kInt16 = 4;
inline constexpr std::uint32_t kUInt16 = 5;
inline constexpr std::uint32_t kInt32 = 6;
inline constexpr std::uint32_t kUInt32 = 7;
inline constexpr std::uint32_t kInt64 = 8;
inline constexpr std::uint32_t kUInt64 = 9;
inline constexpr std::uint32_t kFloat = 10;
inline constexpr std::uint32_t kDouble = 11;
inline constexpr std::uint32_t kString = 12;
inline constexpr std::uint32_t kDateTime = 13;
inline constexpr std::uint32_t kGuid = 14;
inline constexpr std::uint32_t kByteString = 15;
inline constexpr std::uint32_t kXmlElement = 16;
inline constexpr std::uint32_t kNodeId = 17;
inline constexpr std::uint32_t kExpandedNodeId = 18;
inline constexpr std::uint32_t kStatusCode = 19;
inline constexpr std::uint32_t kQualifiedName = 20;
inline constexpr std::uint32_t kLocalizedText = 21;
inline constexpr std::uint32_t kStructure = 22;
inline constexpr std::uint32_t kDataValue = 23;
inline constexpr std::uint32_t kBaseDataType = 24;
inline constexpr std::uint32_t kDiagnosticInfo = 25;
inline constexpr std::uint32_t kNumber = 26;
inline constexpr std::uint32_t kInteger = 27;
inline constexpr std::uint32_t kUInteger = 28;
inline constexpr std::uint32_t kEnumeration = 29;
inline constexpr std::uint32_t kDuration = 290;
inline constexpr std::uint32_t kUtcTime = 294;
inline constexpr std::uint32_t kLocaleId = 295;
inline constexpr std::uint32_t kBuildInfo = 338;
inline constexpr std::uint32_t kServerState = 852;
inline constexpr std::uint32_t kServerStatusDataType = 862;
inline constexpr std::uint32_t kRange = 884;
inline constexpr std::uint32_t kEUInformation = 887;

// Object and variable types.
inline constexpr std::uint32_t kBaseObjectType = 58;
inline constexpr std::uint32_t kFolderType = 61;
inline constexpr std::uint32_t kBaseVariableType = 62;
inline constexpr std::uint32_t kBaseDataVariableType = 63;
inline constexpr std::uint32_t kPropertyType = 68;
inline constexpr std::uint32_t kServerType = 2004;
inline constexpr std::uint32_t kServerCapabilitiesType = 2013;
inline constexpr std::uint32_t kServerStatusType = 2138;
inline constexpr std::uint32_t kDataItemType = 2365;
inline constexpr std::uint32_t kAnalogItemType = 2368;
inline constexpr std::uint32_t kDiscreteItemType = 2372;
inline constexpr std::uint32_t kTwoStateDiscreteType = 2373;
inline constexpr std::uint32_t kMultiStateDiscreteType = 2376;
inline constexpr std::uint32_t kBuildInfoType = 3051;
inline constexpr std::uint32_t kOperationLimitsType = 11564;
inline constexpr std::uint32_t kBaseAnalogType = 15318;

// Folders.
inline constexpr std::uint32_t kRootFolder = 84;
inline constexpr std::uint32_t kObjectsFolder = 85;
inline constexpr std::uint32_t kTypesFolder = 86;
inline constexpr std::uint32_t kViewsFolder = 87;
inline constexpr std::uint32_t kObjectTypesFolder = 88;
inline constexpr std::uint32_t kVariableTypesFolder = 89;
inline constexpr std::uint32_t kDataTypesFolder = 90;
inline constexpr std::uint32_t kReferenceTypesFolder = 91;

// The Server object and its parts.
inline constexpr std::uint32_t kServer = 2253;
inline constexpr std::uint32_t kServerArray = 2254;
inline constexpr std::uint32_t kNamespaceArray = 2255;
inline constexpr std::uint32_t kServerStatus = 2256;
inline constexpr std::uint32_t kServerStatusStartTime = 2257;
inline constexpr std::uint32_t kServerStatusCurrentTime = 2258;
inline constexpr std::uint32_t kServerStatusState = 2259;
inline constexpr std::uint32_t kServerStatusBuildInfo = 2260;
inline constexpr std::uint32_t kBuildInfoProductName = 2261;
inline constexpr std::uint32_t kBuildInfoProductUri = 2262;
inline constexpr std::uint32_t kBuildInfoManufacturerName = 2263;
inline constexpr std::uint32_t kBuildInfoSoftwareVersion = 2264;
inline constexpr std::uint32_t kBuildInfoBuildNumber = 2265;
inline constexpr std::uint32_t kBuildInfoBuildDate = 2266;
inline constexpr std::uint32_t kServiceLevel = 2267;
inline constexpr std::uint32_t kServerCapabilities = 2268;
inline constexpr std::uint32_t kServerProfileArray = 2269;
inline constexpr std::uint32_t kLocaleIdArray = 2271;
inline constexpr std::uint32_t kMinSupportedSampleRate = 2272;
inline constexpr std::uint32_t kMaxBrowseContinuationPoints = 2735;
inline constexpr std::uint32_t kServerStatusSecondsTillShutdown = 2992;
inline constexpr std::uint32_t kServerStatusShutdownReason = 2993;
inline constexpr std::uint32_t kMaxArrayLength = 11702;
inline constexpr std::uint32_t kMaxStringLength = 11703;
inline constexpr std::uint32_t kOperationLimits = 11704;
inline constexpr std::uint32_t kMaxNodesPerRead = 11705;
inline constexpr std::uint32_t kMaxNodesPerWrite = 11707;
inline constexpr std::uint32_t kMaxNodesPerMethodCall = 11709;
inline constexpr std::uint32_t kMaxNodesPerBrowse = 11710;
inline constexpr std::uint32_t kMaxNodesPerRegisterNodes = 11711;
inline constexpr std::uint32_t kMaxNodesPerTranslateBrowsePathsToNodeIds = 11712;
inline constexpr std::uint32_t kMaxNodesPerNodeManagement = 11713;
inline constexpr std::uint32_t kMaxMonitoredItemsPerCall = 11714;

// The binary encodings of the structures served as values.
inline constexpr std::uint32_t kBuildInfoEncoding = 340;
inline constexpr std::uint32_t kServerStatusDataTypeEncoding = 864;
inline constexpr std::uint32_t kRangeEncoding = 886;
inline constexpr std::uint32_t kEUInformationEncoding = 889;

}  // namespace velk::ua::ids
