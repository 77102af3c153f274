#include "app/opcua/plant_tag_writer.h"

#include <mutex>
#include <string>

#include "model/c_doc.h"
#include "model/o_modbus_tag.h"
#include "model/o_tag_group.h"
#include "opc/opc_result.h"
#include "opc/tag_serving.h"
#include "opcua/space/plant_nodes.h"
#include "opcua/space/tag_value_mapping.h"
#include "opcua/status_codes.h"

namespace velk {

ua::StatusCode StatusOfWriteResult(HRESULT result) {
    if (result >= 0) return ua::kGood;
    if (result == OPC_E_BADRIGHTS) return ua::kBadNotWritable;
    if (result == OPC_E_RANGE || result == DISP_E_OVERFLOW) return ua::kBadOutOfRange;
    if (result == OPC_E_BADTYPE || result == DISP_E_TYPEMISMATCH) return ua::kBadTypeMismatch;
    return ua::kBadCommunicationError;
}

ua::StatusCode PlantTagWriter::WriteTagValue(const ua::NodeId& node, const ua::Variant& value) {
    const auto* itemId = std::get_if<std::string>(&node.identifier);
    if (node.namespaceIndex != ua::kPlantNamespaceIndex || itemId == nullptr)
        return ua::kBadNodeIdUnknown;
    OModbusTag* tag = nullptr;
    ODevice* device = nullptr;
    velk::Variant converted;
    {
        std::lock_guard tree(document_.Locks().tree);
        tag = const_cast<OModbusTag*>(plant_.FindTag(*itemId));
        if (tag == nullptr || tag->group == nullptr) return ua::kBadNodeIdUnknown;
        device = tag->group->GetDevice();
        if (device == nullptr) return ua::kBadNodeIdUnknown;
        if ((tag->accessRights & kAccessWritable) == 0) return ua::kBadNotWritable;
        const ua::StatusCode status =
            ua::TagValueOfVariant(value, ServedValueType(*tag), converted);
        if (status != ua::kGood) return status;
        std::lock_guard data(document_.Locks().tagData);
        ++tag->opcReferenceCount;
    }
    const HRESULT result = tagIO_.WriteTag(*device, *tag, converted);
    {
        std::lock_guard data(document_.Locks().tagData);
        --tag->opcReferenceCount;
    }
    return StatusOfWriteResult(result);
}

}  // namespace velk
