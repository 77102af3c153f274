#include "opcda/bus/da_bus_context.h"

namespace velk::dabus {

void GroupObjectTable::Enter(const OPCGroup* group, const void* object, std::string path) {
    std::lock_guard guard(lock_);
    entries_[group] = Entry{object, std::move(path)};
}

void GroupObjectTable::Leave(const OPCGroup* group, const void* object) {
    std::lock_guard guard(lock_);
    auto found = entries_.find(group);
    if (found != entries_.end() && found->second.object == object) entries_.erase(found);
}

std::optional<std::string> GroupObjectTable::PathOf(const OPCGroup* group) const {
    std::lock_guard guard(lock_);
    auto found = entries_.find(group);
    if (found == entries_.end()) return std::nullopt;
    return found->second.path;
}

}  // namespace velk::dabus
