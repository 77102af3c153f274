#pragma once
// The File menu's recent-file list: four positions, most recent first. Kept for each user in
// the per-user store below HKEY_CURRENT_USER\Software\VELK\VELK A&E OPC Server\Recent File List
// as File1 to File4; the machine-wide copy is written by SaveRecentFiles (server_settings.h).
#include <array>
#include <string>
#include <string_view>

#include "core/settings_access.h"

namespace velk {

inline constexpr std::string_view kRecentFileListKey = "Recent File List";

// "File%d" for position 1 to 4.
std::string RecentFileValueName(int position);

class RecentFileList {
  public:
    static constexpr int kSize = 4;

    // Puts the path first after a successful open or save; an entry with the same path moves
    // up instead of appearing twice. An empty path changes nothing.
    void Add(const std::string& path);
    // Drops the entry at index 0..3 (a file that could not be opened); later ones move up.
    void Remove(int index);

    // The entry at index 0..3 ("" for an empty position or an index out of range).
    const std::string& Entry(int index) const;
    const std::array<std::string, kSize>& Entries() const { return entries_; }
    int Count() const;

    // Replaces the list with File1..File4 of the store's "Recent File List" key (read-only:
    // loading creates nothing); missing values leave empty positions.
    void Load(SettingsAccess& userStore);
    // Writes the non-empty positions and deletes the values of the empty ones, so that the
    // store holds exactly this list. False when a value could not be written.
    bool Save(SettingsAccess& userStore) const;

  private:
    std::array<std::string, kSize> entries_;
};

// The machine-wide File1 that names the configuration to open at start-up; "" when it is
// missing, empty or "?".
std::string ReadStartupConfiguration(SettingsAccess& machineStore, bool readOnly);

}  // namespace velk
