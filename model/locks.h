#pragma once
// The locks of one configuration model. The document owns them; its devices, the
// acquisition that reads them and the OPC server objects that serve them are given the
// document's, so that two documents in one process (the two servers of a redundant pair in
// a test) keep apart. Order: tree before tagData; tagData is never held while tree is taken.
#include <mutex>

namespace velk {

struct ModelLocks {
    // TreeLock: the configuration tree: ports, devices, groups, tags and the selection.
    std::recursive_mutex tree;
    // TagDataLock: every tag's value record and condition state and the devices' scan lists.
    std::recursive_mutex tagData;
};

}  // namespace velk
