#include "opcda/c_enum_item_attributes.h"

#include "opcda/opc_group.h"

namespace velk {

HRESULT CEnumItemAttributes::Next(std::uint32_t count, std::vector<OPCITEMATTRIBUTES>& attributes) {
    attributes = group_->ItemAttributes(position_, count);
    position_ += attributes.size();
    return attributes.size() == count ? S_OK : S_FALSE;
}

HRESULT CEnumItemAttributes::Skip(std::uint32_t count) {
    const std::size_t size = group_->ItemCount();
    const std::size_t left = position_ < size ? size - position_ : 0;
    if (count > left) {
        position_ = size;
        return S_FALSE;
    }
    position_ += count;
    return S_OK;
}

HRESULT CEnumItemAttributes::Reset() {
    position_ = 0;
    return S_OK;
}

std::unique_ptr<CEnumItemAttributes> CEnumItemAttributes::Clone() const {
    return std::make_unique<CEnumItemAttributes>(group_);
}

}  // namespace velk
