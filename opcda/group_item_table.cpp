#include "opcda/group_item_table.h"

#include "opcda/item_rules.h"

namespace velk {

OTopic& GroupItemTable::TopicFor(ODevice& device) {
    for (auto& topic : topics_) {
        if (topic->device == &device) return *topic;
    }
    topics_.push_back(std::make_unique<OTopic>(device));
    return *topics_.back();
}

std::uint32_t GroupItemTable::Add(std::unique_ptr<COPCItem> item) {
    TopicFor(*item->device).AddTag(item->tag);
    const std::uint32_t handle = nextHandle_++;
    items_.emplace(handle, std::move(item));
    return handle;
}

bool GroupItemTable::Remove(std::uint32_t handle) {
    auto it = items_.find(handle);
    if (it == items_.end()) return false;
    for (auto& topic : topics_) {
        if (topic->device == it->second->device) topic->RemoveFirst(it->second->tag);
    }
    items_.erase(it);
    return true;
}

COPCItem* GroupItemTable::Find(std::uint32_t handle) const {
    auto it = items_.find(handle);
    return it == items_.end() ? nullptr : it->second.get();
}

ItemTarget GroupItemTable::TargetOf(std::uint32_t handle) const {
    ItemTarget target;
    target.handle = handle;
    const COPCItem* item = Find(handle);
    if (item == nullptr) return target;
    target.found = true;
    target.tag = item->tag;
    target.device = item->device;
    target.clientHandle = item->clientHandle;
    target.active = item->active;
    target.readable = IsReadable(*item->tag);
    return target;
}

std::vector<COPCItem*> GroupItemTable::TakeChanged() {
    std::vector<COPCItem*> changed;
    for (auto& [handle, item] : items_) {
        if (!item->changed) continue;
        item->changed = false;
        changed.push_back(item.get());
    }
    return changed;
}

std::vector<TopicRead> GroupItemTable::TopicsToRead(bool mark) {
    std::vector<TopicRead> reads;
    reads.reserve(topics_.size());
    for (auto& topic : topics_) {
        if (mark && topic->reading->exchange(true)) continue;  // its earlier read still runs
        reads.push_back({topic->device, topic->tags, mark ? topic->reading : nullptr});
    }
    return reads;
}

}  // namespace velk
