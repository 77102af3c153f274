#pragma once
// Tag lists in Modbus location order: ascending by location kind, then address; tags with
// an equal key keep their insertion order. The scan engine's block reader relies on it.
// The caller holds the lock that guards the list (a device's scan lists: TagDataLock).
#include <vector>

namespace velk {

class OModbusTag;

using TagList = std::vector<OModbusTag*>;

// Inserts before the first entry with a greater key, else at the tail.
void InsertSorted(OModbusTag* tag, TagList& list);
// Inserts unless the tag is already listed; true when it was inserted.
bool InsertSortedOnce(OModbusTag* tag, TagList& list);
// Removes every entry of the tag; true when one was there.
bool RemoveFromList(const OModbusTag* tag, TagList& list);
bool ListContains(const OModbusTag* tag, const TagList& list);

}  // namespace velk
