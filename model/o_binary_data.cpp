#include "model/o_binary_data.h"

namespace velk {

bool OBinaryData::RawToEng(Variant& value) const {
    if (value.Type() != VT_BOOL) return false;
    if (conversion == kInverted) value = Variant::Bool(!value.AsBool());
    return true;
}

std::string OBinaryData::GetConversionName() const { return conversion == kInverted ? "INV" : ""; }

bool OBinaryData::IsEqual(const OTagData& other) const {
    const auto* o = dynamic_cast<const OBinaryData*>(&other);
    return o != nullptr && conversion == o->conversion && initValue == o->initValue;
}

void OBinaryData::CopyAll(const OTagData& source) {
    conversion = source.conversion;
    if (const auto* s = dynamic_cast<const OBinaryData*>(&source)) initValue = s->initValue;
}

std::unique_ptr<OTagData> OBinaryData::Clone() const {
    return std::make_unique<OBinaryData>(*this);
}

}  // namespace velk
