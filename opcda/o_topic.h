#pragma once
// A group's view of one device: the group's tags on it in Modbus location order, so that
// one scan-engine read per cycle serves all of them.
#include <atomic>
#include <memory>

#include "model/tag_list.h"

namespace velk {

class ODevice;
class OModbusTag;

class OTopic {
  public:
    // Counts the topic in the device's use count.
    explicit OTopic(ODevice& device);
    ~OTopic();
    OTopic(const OTopic&) = delete;
    OTopic& operator=(const OTopic&) = delete;

    // Inserts after every entry with an equal location (TagDataLock taken); a tag added
    // twice is listed twice.
    void AddTag(OModbusTag* tag);
    // Takes the first occurrence out; false when the tag is not listed.
    bool RemoveFirst(const OModbusTag* tag);

    ODevice* device;
    TagList tags;
    // Set while an update cycle's read of the topic is under way, which may outlive the
    // group; a cycle skips a topic whose earlier read has not ended.
    std::shared_ptr<std::atomic<bool>> reading = std::make_shared<std::atomic<bool>>(false);
};

}  // namespace velk
