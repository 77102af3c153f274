#pragma once
// The "Standard" toolbar as the user arranged it with "Customize...": which buttons it
// shows, in which order, and where its separators stand. Kept for each user in the per-user
// store beside "ApplicationLook" ("Settings" key, text value "StandardToolBar"), applied at
// once and at the next start.
#include <cstddef>
#include <string>
#include <vector>

#include "core/settings_access.h"

namespace velk {

inline constexpr const char* kToolBarLayoutSubkey = "Settings";
inline constexpr const char* kToolBarLayoutValueName = "StandardToolBar";

class ToolBarLayout {
  public:
    // A separator in the item list and in the stored text.
    static constexpr int kSeparator = 0;

    struct Item {
        int commandId = kSeparator;
        bool visible = true;
        bool operator==(const Item&) const = default;
    };

    // The default arrangement: every button shown in the given order, separators as 0.
    explicit ToolBarLayout(std::vector<int> defaultOrder);

    const std::vector<Item>& Items() const { return items_; }
    // The buttons the toolbar shows, in order, with the separators that still separate
    // shown buttons (none first, last or twice in a row).
    std::vector<int> ShownItems() const;

    // Moves the item one place towards the start or the end; false at either end.
    bool MoveUp(std::size_t index);
    bool MoveDown(std::size_t index);
    // Shows or hides a button; separators stay (they vanish between hidden buttons).
    void SetVisible(std::size_t index, bool visible);
    void Reset();

    // The text kept in the store: the items in order, comma-separated, a hidden button with
    // a leading "-" ("57600,57601,-57603,0,32775").
    std::string ToText() const;
    // Takes the arrangement of a stored text. Unknown commands and repeated ones are dropped;
    // buttons the text does not name (a newer program's) are added at the end, shown. A text
    // that cannot be read at all leaves the default; false then.
    bool FromText(const std::string& text);

    // The stored arrangement, or the default when none is stored (read-only: creates nothing).
    void Load(SettingsAccess& userStore);
    bool Save(SettingsAccess& userStore) const;

  private:
    bool IsButton(int commandId) const;

    std::vector<int> defaultOrder_;
    std::vector<Item> items_;
};

}  // namespace velk
