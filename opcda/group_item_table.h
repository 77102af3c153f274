#pragma once
// A group's items and its topics (one per device the items live on). Guarded by the group's
// item lock, which every caller holds; what a device exchange needs is copied out of it
// (ItemTarget, TopicRead), so that the exchange runs without the lock.
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "model/tag_list.h"
#include "opcda/copc_item.h"
#include "opcda/o_topic.h"

namespace velk {

// What an exchange needs of one item.
struct ItemTarget {
    std::uint32_t handle = 0;
    OModbusTag* tag = nullptr;
    ODevice* device = nullptr;
    std::uint32_t clientHandle = 0;
    bool found = false;
    bool active = false;
    bool readable = false;
};

// One topic to read: a copy of its list, and its reading mark (null for none).
struct TopicRead {
    ODevice* device;
    TagList tags;
    std::shared_ptr<std::atomic<bool>> reading;
};

class GroupItemTable {
  public:
    using Items = std::map<std::uint32_t, std::unique_ptr<COPCItem>>;

    // Enters the item and its tag in the topic of its device (made when the group has none
    // for it yet); returns the item's server handle.
    std::uint32_t Add(std::unique_ptr<COPCItem> item);
    // Takes the item out, and the first occurrence of its tag out of its topic; false for a
    // handle that is not an item. Topics stay until the group goes.
    bool Remove(std::uint32_t handle);
    COPCItem* Find(std::uint32_t handle) const;
    ItemTarget TargetOf(std::uint32_t handle) const;
    const Items& All() const { return items_; }
    std::size_t Size() const { return items_.size(); }

    // The items whose changed mark is set (clearing the marks), in table order.
    std::vector<COPCItem*> TakeChanged();
    // The topics to read; with marking, a topic whose earlier read still runs is left out
    // and the others are marked as being read.
    std::vector<TopicRead> TopicsToRead(bool mark);

    // Deletes the topics (device use counts) and the items (tag use counts).
    void ClearTopics() { topics_.clear(); }
    void ClearItems() { items_.clear(); }

  private:
    OTopic& TopicFor(ODevice& device);

    Items items_;
    std::uint32_t nextHandle_ = 1;
    std::vector<std::unique_ptr<OTopic>> topics_;
};

}  // namespace velk
