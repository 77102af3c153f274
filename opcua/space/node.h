#pragma once
// A node of the address space as the services see it: its class, its attributes and its
// references. A node is a snapshot, made when it is asked for, so a node of the plant shows
// the configuration as it is at that moment.
#include <cstdint>
#include <optional>
#include <vector>

#include "opcua/data_value.h"
#include "opcua/node_id.h"

namespace velk::ua {

enum class NodeClass : std::int32_t {
    kUnspecified = 0,
    kObject = 1,
    kVariable = 2,
    kMethod = 4,
    kObjectType = 8,
    kVariableType = 16,
    kReferenceType = 32,
    kDataType = 64,
    kView = 128,
};

enum class AttributeId : std::uint32_t {
    kNodeId = 1,
    kNodeClass = 2,
    kBrowseName = 3,
    kDisplayName = 4,
    kDescription = 5,
    kWriteMask = 6,
    kUserWriteMask = 7,
    kIsAbstract = 8,
    kSymmetric = 9,
    kInverseName = 10,
    kContainsNoLoops = 11,
    kEventNotifier = 12,
    kValue = 13,
    kDataType = 14,
    kValueRank = 15,
    kArrayDimensions = 16,
    kAccessLevel = 17,
    kUserAccessLevel = 18,
    kMinimumSamplingInterval = 19,
    kHistorizing = 20,
};

// AccessLevel bits.
inline constexpr std::uint8_t kAccessCurrentRead = 0x01;
inline constexpr std::uint8_t kAccessCurrentWrite = 0x02;

inline constexpr std::int32_t kValueRankScalar = -1;
inline constexpr std::int32_t kValueRankOneDimension = 1;
inline constexpr std::int32_t kValueRankAny = -2;

struct Reference {
    NodeId referenceTypeId;
    bool isForward = true;
    NodeId targetId;
};

// Where a Variable's Value comes from when it is read.
enum class ValueOrigin : std::uint8_t {
    kStored,  // Node::value, fixed or computed when the node was made
    kTag,     // the plant tag's value record, through ITagValueReader
};

struct Node {
    NodeId nodeId;
    NodeClass nodeClass = NodeClass::kUnspecified;
    QualifiedName browseName;
    LocalizedText displayName;
    LocalizedText description;
    std::vector<Reference> references;
    // Only the attributes of the node's class are set.
    std::optional<bool> isAbstract;
    std::optional<bool> symmetric;
    std::optional<LocalizedText> inverseName;
    std::optional<std::uint8_t> eventNotifier;
    std::optional<bool> containsNoLoops;
    // Variables and variable types.
    ValueOrigin valueOrigin = ValueOrigin::kStored;
    std::optional<Variant> value;
    std::optional<NodeId> dataType;
    std::optional<std::int32_t> valueRank;
    std::optional<std::vector<std::uint32_t>> arrayDimensions;
    std::optional<std::uint8_t> accessLevel;
    std::optional<std::uint8_t> userAccessLevel;
    std::optional<double> minimumSamplingInterval;
    std::optional<bool> historizing;

    // The target of the node's HasTypeDefinition reference; null when it has none.
    NodeId TypeDefinition() const;
};

}  // namespace velk::ua
