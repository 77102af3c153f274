#pragma once
// Builds a configuration tree in tests: devices and groups inserted by name, as a loaded
// configuration holds them.
#include <memory>
#include <string>

#include "model/c_doc.h"
#include "model/o_device.h"
#include "model/o_tag_group.h"

namespace velk::testing {

inline ODevice& InsertDevice(OTagGroup& root, const std::string& name) {
    auto device = std::make_unique<ODevice>();
    device->name = name;
    device->parent = &root;
    ODevice* added = device.get();
    std::unique_ptr<OTagGroup> entry = std::move(device);
    root.InsertSubgroupByName(entry);
    return *added;
}

// A device of the document, guarded by the document's locks.
inline ODevice& InsertDevice(CDoc& document, const std::string& name) {
    ODevice& device = InsertDevice(document.rootGroup, name);
    document.AdoptDevice(device);
    return device;
}

inline OTagGroup& InsertGroup(OTagGroup& parent, const std::string& name) {
    auto group = std::make_unique<OTagGroup>();
    group->name = name;
    group->parent = &parent;
    OTagGroup* added = group.get();
    parent.InsertSubgroupByName(group);
    return *added;
}

}  // namespace velk::testing
