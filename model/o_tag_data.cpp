#include "model/o_tag_data.h"

#include <typeinfo>

namespace velk {

void OTagData::Assign(const OTagData& source) {
    if (&source != this) CopyAll(source);
}

bool OTagData::RawToEng(Variant&) const { return false; }
bool OTagData::EngToRaw(Variant&) const { return false; }

void OTagData::AssignAll(const OTagData& source) {
    if (&source != this) CopyAll(source);
}

bool OTagData::IsEqual(const OTagData& other) const {
    return typeid(*this) == typeid(other) && conversion == other.conversion;
}

void OTagData::CopyAll(const OTagData& source) { conversion = source.conversion; }

std::unique_ptr<OTagData> OTagData::Clone() const { return std::make_unique<OTagData>(*this); }

}  // namespace velk
