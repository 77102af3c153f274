#pragma once
// The process-wide recursive locks of the configuration model. Order: TreeLock before
// TagDataLock; TagDataLock is never held while TreeLock is taken.
#include <mutex>

namespace velk {

// Guards the configuration tree: ports, devices, groups, tags and the selection.
std::recursive_mutex& TreeLock();
// Guards every tag's value record and condition state and the devices' scan lists.
std::recursive_mutex& TagDataLock();

}  // namespace velk
