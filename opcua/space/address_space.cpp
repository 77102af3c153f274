#include "opcua/space/address_space.h"

#include "opcua/space/namespace_zero.h"
#include "opcua/space/plant_nodes.h"
#include "opcua/space/standard_node_ids.h"

namespace velk::ua {

NodeId Node::TypeDefinition() const {
    for (const Reference& r : references)
        if (r.isForward && r.referenceTypeId == NodeId::Numeric(0, ids::kHasTypeDefinition))
            return r.targetId;
    return {};
}

AddressSpace::AddressSpace(const NamespaceZero& zero, const PlantNodes* plant)
    : zero_(zero), plant_(plant) {}

std::optional<Node> AddressSpace::FindNode(const NodeId& id) const { return Find(id, true); }

std::optional<Node> AddressSpace::FindNodeSummary(const NodeId& id) const {
    return Find(id, false);
}

std::optional<Node> AddressSpace::Find(const NodeId& id, bool withReferences) const {
    if (id.namespaceIndex == 0) {
        const auto* numeric = std::get_if<std::uint32_t>(&id.identifier);
        if (numeric == nullptr) return std::nullopt;
        std::optional<Node> node = zero_.FindNode(*numeric);
        if (node && withReferences && *numeric == ids::kObjectsFolder && plant_ != nullptr)
            plant_->AppendObjectsReferences(node->references);
        return node;
    }
    if (id.namespaceIndex == kPlantNamespaceIndex && plant_ != nullptr) {
        const auto* text = std::get_if<std::string>(&id.identifier);
        if (text == nullptr) return std::nullopt;
        return plant_->FindNode(*text, withReferences);
    }
    return std::nullopt;
}

bool AddressSpace::IsSubtypeOf(const NodeId& subtype, const NodeId& type) const {
    // Every type of the plant's namespace is a namespace 0 one.
    if (subtype.namespaceIndex != 0 || type.namespaceIndex != 0) return subtype == type;
    const auto* from = std::get_if<std::uint32_t>(&subtype.identifier);
    const auto* to = std::get_if<std::uint32_t>(&type.identifier);
    if (from == nullptr || to == nullptr) return false;
    // The hierarchy is a tree a few levels deep; the bound guards against a cycle.
    std::uint32_t current = *from;
    for (int level = 0; current != 0 && level < 64; ++level) {
        if (current == *to) return true;
        current = zero_.SupertypeOf(current);
    }
    return false;
}

std::vector<std::string> AddressSpace::NamespaceUris() const { return zero_.NamespaceUris(); }

bool IsReferenceType(const IAddressSpace& space, const NodeId& id) {
    const std::optional<Node> node = space.FindNode(id);
    return node && node->nodeClass == NodeClass::kReferenceType;
}

std::vector<MatchedReference> MatchReferences(const IAddressSpace& space, const Node& node,
                                              const ReferenceFilter& filter) {
    std::vector<MatchedReference> matched;
    for (const Reference& r : node.references) {
        if (filter.direction == BrowseDirection::kForward && !r.isForward) continue;
        if (filter.direction == BrowseDirection::kInverse && r.isForward) continue;
        if (!filter.referenceTypeId.IsNull()) {
            const bool typeMatches =
                filter.includeSubtypes
                    ? space.IsSubtypeOf(r.referenceTypeId, filter.referenceTypeId)
                    : r.referenceTypeId == filter.referenceTypeId;
            if (!typeMatches) continue;
        }
        std::optional<Node> target = space.FindNodeSummary(r.targetId);
        if (!target) continue;
        if (filter.nodeClassMask != 0 &&
            (filter.nodeClassMask & static_cast<std::uint32_t>(target->nodeClass)) == 0)
            continue;
        matched.push_back({r, std::move(*target)});
    }
    return matched;
}

}  // namespace velk::ua
