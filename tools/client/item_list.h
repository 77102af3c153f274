#pragma once
// The items that a command names, added to its group: each with its server handle, its
// canonical type and access rights, or the error that AddItems gave for it (reported
// once, as "velkopc-client: ITEM: OPC_E_UNKNOWNITEMID (...)").
#include <string>
#include <vector>

#include "opc/opc_result.h"
#include "tools/client/bus/da_group.h"
#include "tools/client/client_command.h"

namespace velk::client {

struct ListedItem {
    std::string itemId;
    std::uint32_t clientHandle = 0;  // the item's index in the command line
    ItemResult result;
};

class ItemList {
  public:
    // Adds the items, active, with client handles 0, 1, 2, ... and their canonical types;
    // reports every item that the server refused.
    ItemList(ClientContext& context, DaGroup& group, const std::vector<std::string>& itemIds);

    const std::vector<ListedItem>& Added() const { return added_; }
    bool AnyFailed() const { return failed_; }
    std::vector<std::uint32_t> ServerHandles() const;
    // The item with this client handle; null when there is none.
    const ListedItem* ByClientHandle(std::uint32_t clientHandle) const;
    // The widest item ID, for aligned columns.
    std::size_t Width() const { return width_; }

  private:
    std::vector<ListedItem> added_;
    std::vector<std::string> itemIds_;
    bool failed_ = false;
    std::size_t width_ = 0;
};

// "read", "write", "read/write" or "none".
std::string AccessRightsText(std::uint32_t rights);

}  // namespace velk::client
