#pragma once
// The address space as the services reach it: nodes by NodeId, the references of a node
// filtered by direction, reference type (with its subtypes) and the target's node class,
// and the reference type hierarchy. AddressSpace joins the namespace 0 nodes, held as data,
// and the plant's nodes, a view of the configuration tree.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "opcua/space/node.h"

namespace velk::ua {

class NamespaceZero;
class PlantNodes;

enum class BrowseDirection : std::int32_t { kForward = 0, kInverse = 1, kBoth = 2 };

// Which references of a node to follow.
struct ReferenceFilter {
    BrowseDirection direction = BrowseDirection::kForward;
    // Null: every reference type.
    NodeId referenceTypeId;
    bool includeSubtypes = true;
    // NodeClass bits of the targets; 0: every class.
    std::uint32_t nodeClassMask = 0;
};

class IAddressSpace {
  public:
    virtual ~IAddressSpace() = default;
    // The node with its attributes and references, or none for an unknown NodeId.
    virtual std::optional<Node> FindNode(const NodeId& id) const = 0;
    // The same with no reference but HasTypeDefinition: what a reference's target shows in a
    // browse result, made without walking the target's children.
    virtual std::optional<Node> FindNodeSummary(const NodeId& id) const { return FindNode(id); }
    // True when type is subtype or a subtype of it (or subtype itself); both reference
    // types or both data types or both object or variable types.
    virtual bool IsSubtypeOf(const NodeId& subtype, const NodeId& type) const = 0;
    // The namespace URIs, index 0 first.
    virtual std::vector<std::string> NamespaceUris() const = 0;
};

// The references of node that pass filter, in the node's order, each with the target's
// summary (a reference to a target that is no longer there is left out). The filter's reference
// type must be a known reference type (checked by the caller).
struct MatchedReference {
    Reference reference;
    Node target;
};
std::vector<MatchedReference> MatchReferences(const IAddressSpace& space, const Node& node,
                                              const ReferenceFilter& filter);

// True when id names a ReferenceType node.
bool IsReferenceType(const IAddressSpace& space, const NodeId& id);

class AddressSpace final : public IAddressSpace {
  public:
    // plant may be null (namespace 0 only); both outlive the address space.
    AddressSpace(const NamespaceZero& zero, const PlantNodes* plant);

    std::optional<Node> FindNode(const NodeId& id) const override;
    std::optional<Node> FindNodeSummary(const NodeId& id) const override;
    bool IsSubtypeOf(const NodeId& subtype, const NodeId& type) const override;
    std::vector<std::string> NamespaceUris() const override;

  private:
    std::optional<Node> Find(const NodeId& id, bool withReferences) const;

    const NamespaceZero& zero_;
    const PlantNodes* plant_;
};

}  // namespace velk::ua
