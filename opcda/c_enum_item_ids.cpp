#include "opcda/c_enum_item_ids.h"

#include "model/o_tag_group.h"

namespace velk {

CEnumItemIDs::CEnumItemIDs(const OTagGroup& node, bool leaves, std::string filterCriteria,
                           VarType dataTypeFilter, std::uint32_t accessRightsFilter)
    : node_(&node),
      leaves_(leaves),
      filterCriteria_(std::move(filterCriteria)),
      dataTypeFilter_(dataTypeFilter),
      accessRightsFilter_(accessRightsFilter) {}

std::size_t CEnumItemIDs::Size() const {
    return leaves_ ? node_->tagList.size() : node_->subgroupList.size();
}

std::string CEnumItemIDs::NameAt(std::size_t index) const {
    return leaves_ ? node_->tagList[index]->name : node_->subgroupList[index]->name;
}

HRESULT CEnumItemIDs::Next(std::uint32_t count, std::vector<std::string>& names) {
    names.clear();
    while (names.size() < count && position_ < Size()) names.push_back(NameAt(position_++));
    return names.size() == count ? S_OK : S_FALSE;
}

HRESULT CEnumItemIDs::Skip(std::uint32_t count) {
    const std::size_t size = Size();
    const std::size_t left = position_ < size ? size - position_ : 0;
    if (count > left) {
        position_ = size;
        return S_FALSE;
    }
    position_ += count;
    return S_OK;
}

HRESULT CEnumItemIDs::Reset() {
    position_ = 0;
    return S_OK;
}

CEnumItemIDs CEnumItemIDs::Clone() const {
    return CEnumItemIDs(*node_, leaves_, filterCriteria_, dataTypeFilter_, accessRightsFilter_);
}

}  // namespace velk
