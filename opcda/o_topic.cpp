#include "opcda/o_topic.h"

#include <algorithm>
#include <mutex>

#include "model/o_device.h"

namespace velk {

OTopic::OTopic(ODevice& device) : device(&device) {
    std::lock_guard lock(device.Locks().tree);
    ++device.useCount;
}

OTopic::~OTopic() {
    std::lock_guard lock(device->Locks().tree);
    --device->useCount;
}

void OTopic::AddTag(OModbusTag* tag) {
    std::lock_guard lock(device->Locks().tagData);
    InsertSorted(tag, tags);
}

bool OTopic::RemoveFirst(const OModbusTag* tag) {
    std::lock_guard lock(device->Locks().tagData);
    auto it = std::find(tags.begin(), tags.end(), tag);
    if (it == tags.end()) return false;
    tags.erase(it);
    return true;
}

}  // namespace velk
