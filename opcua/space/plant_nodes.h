#pragma once
// The plant's nodes (namespace 1) as a view of the configuration tree, computed from the
// tree each time a node is asked for, so that nodes appear and vanish with every edit,
// import and File Open. NodeIds are strings:
//   a tag:            its DA item ID, the path joined by "." ("Line1.Pumps.Speed");
//   a device, group:  its path with the trailing "." ("Line1.", "Line1.Pumps."), which no
//                     tag's item ID can be;
//   a tag's property: the item ID, "..", the property's name ("Line1.Pumps.Speed..EURange").
// Each device and group is a FolderType object organized from Objects (devices) or from its
// parent group; each tag a DataItemType variable, or an AnalogItemType one with EURange,
// EngineeringUnits and InstrumentRange when it has an analog scaling.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "opcua/space/node.h"

namespace velk {
class CDoc;
class ODevice;
class OModbusTag;
class OTagGroup;
}  // namespace velk

namespace velk::ua {

inline constexpr std::uint16_t kPlantNamespaceIndex = 1;
inline constexpr const char* kItemDelimiter = ".";

class PlantNodes {
  public:
    // The document outlives this view; every call takes its TreeLock.
    explicit PlantNodes(const CDoc& document) : document_(document) {}

    // The node of a string identifier of namespace 1, or none; without withReferences only
    // its HasTypeDefinition reference.
    std::optional<Node> FindNode(const std::string& id, bool withReferences = true) const;
    // The Organizes references from the Objects folder to the devices.
    void AppendObjectsReferences(std::vector<Reference>& out) const;

    // The NodeIds of the tree's elements.
    static NodeId TagNodeId(const OModbusTag& tag);
    static NodeId FolderNodeId(const OTagGroup& group);

    // The tag of an item ID, exactly as the tag's path spells it, or none (TreeLock held by
    // the caller).
    const OModbusTag* FindTag(const std::string& itemId) const;

  private:
    const OTagGroup* FindFolder(const std::string& id) const;
    Node FolderNode(const OTagGroup& group, bool withReferences) const;
    Node TagNode(const OModbusTag& tag, bool withReferences) const;
    std::optional<Node> PropertyNode(const OModbusTag& tag, const std::string& name) const;

    const CDoc& document_;
};

}  // namespace velk::ua
