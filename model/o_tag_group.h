#pragma once
// A group of tags and nested groups; also the root group of the document (no parent) and
// the base of a device. A group owns its tags and subgroups.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/o_modbus_tag.h"
#include "model/o_object.h"

namespace velk {

class ODevice;

class OTagGroup : public OObject {
  public:
    OTagGroup();
    OTagGroup(const OTagGroup&) = delete;
    OTagGroup& operator=(const OTagGroup&) = delete;

    const char* GetRuntimeClass() const override { return "OTagGroup"; }

    // For a device: itself; for a group: its parent's device; none for the root group.
    virtual ODevice* GetDevice();
    const ODevice* GetDevice() const { return const_cast<OTagGroup*>(this)->GetDevice(); }
    virtual bool IsDevice() const { return false; }

    // The parent's prefix, the name and the delimiter; empty for the root group.
    std::string GetPathPrefix(const std::string& delimiter) const;
    // The prefix without its last delimiter; a device's area path is its name.
    std::string GetAreaPath(const std::string& delimiter) const;
    // The first direct subgroup with the name (ASCII case ignored), or none.
    OTagGroup* FindSubgroup(const std::string& subgroupName) const;
    // The first own tag with the name (ASCII case ignored), or none.
    OModbusTag* FindOwnTag(const std::string& tagName) const;
    // Resolves the rest of a path below this group; a delimiter means a subgroup, else a tag.
    OModbusTag* FindTagInGroup(const std::string& rest, const std::string& delimiter) const;

    // Name-ordered insertion (ASCII case ignored). Returns false, leaving the list as it
    // was, when an equal name is there; the caller keeps ownership then.
    bool InsertTagByName(std::unique_ptr<OModbusTag>& tag);
    bool InsertSubgroupByName(std::unique_ptr<OTagGroup>& subgroup);
    // Takes a tag or subgroup out of the lists; null when it is not held here.
    std::unique_ptr<OModbusTag> DetachTag(const OModbusTag* tag);
    std::unique_ptr<OTagGroup> DetachSubgroup(const OTagGroup* subgroup);

    // Calls f for every tag below this group, depth first: own tags in list order, then
    // each subgroup.
    template <class F>
    void ForEachTag(F&& f) const {
        for (const auto& tag : tagList) f(tag.get());
        for (const auto& sub : subgroupList) sub->ForEachTag(f);
    }

    std::string name = "Group";
    std::string description;
    std::vector<std::unique_ptr<OModbusTag>> tagList;
    std::vector<std::unique_ptr<OTagGroup>> subgroupList;  // the devices, in the root group
    OTagGroup* parent = nullptr;
    std::int32_t useCount = 0;
    std::int32_t nextTagNumber = 1;
};

}  // namespace velk
