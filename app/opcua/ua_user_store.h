#pragma once
// The OPC UA users in the machine settings store, below the server's "OpcUa" key: the key
// "HKEY_LOCAL_MACHINE\Software\VELK\VELK A&E OPC Server\OpcUa\Users" holds one REG_SZ value
// per user, named by the user, with the data "<role>:<hash>": the role "Viewer" or
// "Operator", then the scrypt hash of the password ("scrypt$N$r$p$salt$hash"). No password
// is ever kept in clear. A value that does not read so is skipped (and reported).
#include <string>
#include <string_view>
#include <vector>

#include "opcua/security/user_directory.h"
#include "platform/settings_store.h"

namespace velk {

inline constexpr std::string_view kUaUsersKey =
    "HKEY_LOCAL_MACHINE\\Software\\VELK\\VELK A&E OPC Server\\OpcUa\\Users";

// "<role>:<hash>" of a record, and back; false for data that is not such a text.
std::string UaUserData(const ua::security::UaUserRecord& user);
bool ParseUaUserData(std::string_view name, std::string_view data,
                     ua::security::UaUserRecord& user);

class UaUserStore {
  public:
    explicit UaUserStore(ISettingsStore& store) : store_(store) {}

    // The users in the store, in stored order; the names of the values that could not be
    // read go to skipped when given.
    std::vector<ua::security::UaUserRecord> Load(std::vector<std::string>* skipped = nullptr);
    bool Exists(std::string_view name);
    // Creates the key when needed and writes the user (replacing one of the same name).
    bool Save(const ua::security::UaUserRecord& user);
    // True when the user no longer exists afterwards.
    bool Remove(std::string_view name);

  private:
    ISettingsStore& store_;
};

}  // namespace velk
