#include "model/o_tag_group.h"

#include <algorithm>

#include "platform/text.h"

namespace velk {
namespace {

// Name-ordered insertion: an equal name is a duplicate; before the first greater name;
// else at the end.
template <class T>
bool InsertByName(std::vector<std::unique_ptr<T>>& list, std::unique_ptr<T>& item) {
    auto position = list.begin();
    for (; position != list.end(); ++position) {
        const int order = CompareNoCase((*position)->name, item->name);
        if (order == 0) return false;
        if (order > 0) break;
    }
    list.insert(position, std::move(item));
    return true;
}

template <class T>
std::unique_ptr<T> Detach(std::vector<std::unique_ptr<T>>& list, const T* item) {
    auto it = std::find_if(list.begin(), list.end(),
                           [item](const std::unique_ptr<T>& entry) { return entry.get() == item; });
    if (it == list.end()) return nullptr;
    std::unique_ptr<T> out = std::move(*it);
    list.erase(it);
    return out;
}

}  // namespace

OTagGroup::OTagGroup() = default;

ODevice* OTagGroup::GetDevice() { return parent ? parent->GetDevice() : nullptr; }

std::string OTagGroup::GetPathPrefix(const std::string& delimiter) const {
    if (parent == nullptr) return {};
    return parent->GetPathPrefix(delimiter) + name + delimiter;
}

std::string OTagGroup::GetAreaPath(const std::string& delimiter) const {
    std::string prefix = GetPathPrefix(delimiter);
    if (!prefix.empty()) prefix.pop_back();
    return prefix;
}

OTagGroup* OTagGroup::FindSubgroup(const std::string& subgroupName) const {
    for (const auto& sub : subgroupList)
        if (EqualsNoCase(sub->name, subgroupName)) return sub.get();
    return nullptr;
}

OModbusTag* OTagGroup::FindOwnTag(const std::string& tagName) const {
    for (const auto& tag : tagList)
        if (EqualsNoCase(tag->name, tagName)) return tag.get();
    return nullptr;
}

OModbusTag* OTagGroup::FindTagInGroup(const std::string& rest, const std::string& delimiter) const {
    const std::size_t at = delimiter.empty() ? std::string::npos : rest.find(delimiter);
    if (at == std::string::npos) return FindOwnTag(rest);
    OTagGroup* sub = FindSubgroup(rest.substr(0, at));
    if (sub == nullptr) return nullptr;
    // One character is skipped after the delimiter's position.
    return sub->FindTagInGroup(rest.substr(at + 1), delimiter);
}

bool OTagGroup::InsertTagByName(std::unique_ptr<OModbusTag>& tag) {
    return InsertByName(tagList, tag);
}

bool OTagGroup::InsertSubgroupByName(std::unique_ptr<OTagGroup>& subgroup) {
    return InsertByName(subgroupList, subgroup);
}

std::unique_ptr<OModbusTag> OTagGroup::DetachTag(const OModbusTag* tag) {
    return Detach(tagList, tag);
}

std::unique_ptr<OTagGroup> OTagGroup::DetachSubgroup(const OTagGroup* subgroup) {
    return Detach(subgroupList, subgroup);
}

}  // namespace velk
