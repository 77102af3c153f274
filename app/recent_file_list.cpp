#include "app/recent_file_list.h"

#include <algorithm>

namespace velk {

std::string RecentFileValueName(int position) { return "File" + std::to_string(position); }

void RecentFileList::Add(const std::string& path) {
    if (path.empty()) return;
    auto found = std::find(entries_.begin(), entries_.end(), path);
    if (found == entries_.end()) found = entries_.end() - 1;  // the oldest falls off
    std::rotate(entries_.begin(), found, found + 1);
    entries_.front() = path;
}

void RecentFileList::Remove(int index) {
    if (index < 0 || index >= kSize) return;
    std::rotate(entries_.begin() + index, entries_.begin() + index + 1, entries_.end());
    entries_.back().clear();
}

const std::string& RecentFileList::Entry(int index) const {
    static const std::string kEmpty;
    if (index < 0 || index >= kSize) return kEmpty;
    return entries_[static_cast<std::size_t>(index)];
}

int RecentFileList::Count() const {
    return static_cast<int>(std::count_if(entries_.begin(), entries_.end(),
                                          [](const std::string& e) { return !e.empty(); }));
}

void RecentFileList::Load(SettingsAccess& userStore) {
    for (int i = 0; i < kSize; ++i) {
        entries_[static_cast<std::size_t>(i)] =
            userStore.ReadSettingText(kRecentFileListKey, RecentFileValueName(i + 1), true, "");
    }
}

bool RecentFileList::Save(SettingsAccess& userStore) const {
    bool ok = true;
    for (int i = 0; i < kSize; ++i) {
        const std::string name = RecentFileValueName(i + 1);
        const std::string& entry = entries_[static_cast<std::size_t>(i)];
        if (!entry.empty()) {
            ok = userStore.WriteSettingText(kRecentFileListKey, name, entry) && ok;
        } else if (const auto key = userStore.OpenSettingsKey(kRecentFileListKey, true)) {
            ok = userStore.Store().DeleteValue(*key, name) && ok;
        }
    }
    return ok;
}

std::string ReadStartupConfiguration(SettingsAccess& machineStore, bool readOnly) {
    std::string path =
        machineStore.ReadSettingText(kRecentFileListKey, RecentFileValueName(1), readOnly, "?");
    if (path == "?") path.clear();
    return path;
}

}  // namespace velk
