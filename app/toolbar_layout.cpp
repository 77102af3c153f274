#include "app/toolbar_layout.h"

#include <algorithm>
#include <charconv>

namespace velk {

ToolBarLayout::ToolBarLayout(std::vector<int> defaultOrder)
    : defaultOrder_(std::move(defaultOrder)) {
    Reset();
}

void ToolBarLayout::Reset() {
    items_.clear();
    for (int id : defaultOrder_) items_.push_back({id, true});
}

bool ToolBarLayout::IsButton(int commandId) const {
    return commandId != kSeparator &&
           std::find(defaultOrder_.begin(), defaultOrder_.end(), commandId) != defaultOrder_.end();
}

std::vector<int> ToolBarLayout::ShownItems() const {
    std::vector<int> shown;
    bool separatorPending = false;
    for (const Item& item : items_) {
        if (item.commandId == kSeparator) {
            separatorPending = !shown.empty();
        } else if (item.visible) {
            if (separatorPending) shown.push_back(kSeparator);
            separatorPending = false;
            shown.push_back(item.commandId);
        }
    }
    return shown;
}

bool ToolBarLayout::MoveUp(std::size_t index) {
    if (index == 0 || index >= items_.size()) return false;
    std::swap(items_[index - 1], items_[index]);
    return true;
}

bool ToolBarLayout::MoveDown(std::size_t index) {
    if (index + 1 >= items_.size()) return false;
    std::swap(items_[index], items_[index + 1]);
    return true;
}

void ToolBarLayout::SetVisible(std::size_t index, bool visible) {
    if (index < items_.size() && items_[index].commandId != kSeparator) {
        items_[index].visible = visible;
    }
}

std::string ToolBarLayout::ToText() const {
    std::string text;
    for (const Item& item : items_) {
        if (!text.empty()) text += ',';
        if (!item.visible) text += '-';
        text += std::to_string(item.commandId);
    }
    return text;
}

bool ToolBarLayout::FromText(const std::string& text) {
    std::vector<Item> read;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(',', start);
        if (end == std::string::npos) end = text.size();
        std::string_view field(text.data() + start, end - start);
        start = end + 1;
        Item item;
        if (!field.empty() && field.front() == '-') {
            item.visible = false;
            field.remove_prefix(1);
        }
        const auto [next, error] =
            std::from_chars(field.data(), field.data() + field.size(), item.commandId);
        if (error != std::errc() || next != field.data() + field.size()) continue;
        if (item.commandId == kSeparator) {
            item.visible = true;
            read.push_back(item);
            continue;
        }
        const bool repeated = std::any_of(
            read.begin(), read.end(), [&](const Item& r) { return r.commandId == item.commandId; });
        if (IsButton(item.commandId) && !repeated) read.push_back(item);
    }
    if (std::none_of(read.begin(), read.end(),
                     [](const Item& item) { return item.commandId != kSeparator; })) {
        Reset();
        return false;
    }
    for (int id : defaultOrder_) {
        if (id == kSeparator) continue;
        if (std::none_of(read.begin(), read.end(),
                         [id](const Item& item) { return item.commandId == id; })) {
            read.push_back({id, true});
        }
    }
    items_ = std::move(read);
    return true;
}

void ToolBarLayout::Load(SettingsAccess& userStore) {
    const std::string text =
        userStore.ReadSettingText(kToolBarLayoutSubkey, kToolBarLayoutValueName, true, "");
    if (text.empty() || !FromText(text)) Reset();
}

bool ToolBarLayout::Save(SettingsAccess& userStore) const {
    return userStore.WriteSettingText(kToolBarLayoutSubkey, kToolBarLayoutValueName, ToText());
}

}  // namespace velk
