#include "opcua/space/stored_tag_values.h"

#include <mutex>

#include "model/c_doc.h"
#include "opcua/space/plant_nodes.h"
#include "opcua/space/tag_value_mapping.h"

namespace velk::ua {

DataValue StoredTagValues::ReadTagValue(const NodeId& node, double /*maxAgeMs*/) {
    DataValue result;
    result.status = kBadNodeIdUnknown;
    const auto* itemId = std::get_if<std::string>(&node.identifier);
    if (node.namespaceIndex != kPlantNamespaceIndex || itemId == nullptr) return result;
    std::lock_guard<std::recursive_mutex> tree(document_.Locks().tree);
    const OModbusTag* tag = plant_.FindTag(*itemId);
    if (tag == nullptr) return result;
    std::lock_guard<std::recursive_mutex> tagData(document_.Locks().tagData);
    return TagDataValue(*tag);
}

}  // namespace velk::ua
