#include "tools/client/item_list.h"

#include <algorithm>

namespace velk::client {

ItemList::ItemList(ClientContext& context, DaGroup& group, const std::vector<std::string>& itemIds)
    : itemIds_(itemIds) {
    std::vector<ItemDefinition> definitions;
    for (std::size_t i = 0; i < itemIds.size(); ++i) {
        definitions.push_back({itemIds[i], true, static_cast<std::uint32_t>(i), VT_EMPTY});
    }
    const AddItemsOutcome outcome = group.AddItems(definitions);
    for (std::size_t i = 0; i < itemIds.size(); ++i) {
        const ResultCode error = i < outcome.errors.size() ? outcome.errors[i] : 0;
        if (error < 0 || i >= outcome.items.size()) {
            context.ReportFailure(itemIds[i], error);
            failed_ = true;
            continue;
        }
        added_.push_back({itemIds[i], static_cast<std::uint32_t>(i), outcome.items[i]});
        width_ = std::max(width_, itemIds[i].size());
    }
}

std::vector<std::uint32_t> ItemList::ServerHandles() const {
    std::vector<std::uint32_t> handles;
    for (const ListedItem& item : added_) handles.push_back(item.result.serverHandle);
    return handles;
}

const ListedItem* ItemList::ByClientHandle(std::uint32_t clientHandle) const {
    for (const ListedItem& item : added_) {
        if (item.clientHandle == clientHandle) return &item;
    }
    return nullptr;
}

std::string AccessRightsText(std::uint32_t rights) {
    const bool readable = rights & OPC_READABLE;
    const bool writeable = rights & OPC_WRITEABLE;
    if (readable && writeable) return "read/write";
    if (readable) return "read";
    if (writeable) return "write";
    return "none";
}

}  // namespace velk::client
