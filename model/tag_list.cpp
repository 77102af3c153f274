#include "model/tag_list.h"

#include <algorithm>
#include <mutex>

#include "model/locks.h"
#include "model/o_modbus_tag.h"

namespace velk {

void InsertSorted(OModbusTag* tag, TagList& list) {
    std::lock_guard<std::recursive_mutex> lock(TagDataLock());
    auto position = std::find_if(list.begin(), list.end(), [tag](const OModbusTag* entry) {
        return entry->locationKind > tag->locationKind ||
               (entry->locationKind == tag->locationKind && entry->address > tag->address);
    });
    list.insert(position, tag);
}

bool InsertSortedOnce(OModbusTag* tag, TagList& list) {
    std::lock_guard<std::recursive_mutex> lock(TagDataLock());
    if (ListContains(tag, list)) return false;
    InsertSorted(tag, list);
    return true;
}

bool RemoveFromList(const OModbusTag* tag, TagList& list) {
    std::lock_guard<std::recursive_mutex> lock(TagDataLock());
    return std::erase(list, tag) > 0;
}

bool ListContains(const OModbusTag* tag, const TagList& list) {
    return std::find(list.begin(), list.end(), tag) != list.end();
}

}  // namespace velk
