#include "model/tag_list.h"

#include <algorithm>

#include "model/o_modbus_tag.h"

namespace velk {

namespace {
// Orders by location kind, then address; the list is kept sorted by this key, so positions are
// found by binary search (imports of large devices insert many thousands of tags).
bool KeyLess(const OModbusTag* a, const OModbusTag* b) {
    return a->locationKind < b->locationKind ||
           (a->locationKind == b->locationKind && a->address < b->address);
}
}  // namespace

void InsertSorted(OModbusTag* tag, TagList& list) {
    // Before the first entry with a greater key: equal keys keep their insertion order.
    list.insert(std::upper_bound(list.begin(), list.end(), tag, KeyLess), tag);
}

bool InsertSortedOnce(OModbusTag* tag, TagList& list) {
    if (ListContains(tag, list)) return false;
    InsertSorted(tag, list);
    return true;
}

bool RemoveFromList(const OModbusTag* tag, TagList& list) { return std::erase(list, tag) > 0; }

bool ListContains(const OModbusTag* tag, const TagList& list) {
    return std::find(list.begin(), list.end(), tag) != list.end();
}

}  // namespace velk
