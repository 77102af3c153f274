#include "app/opcua/ua_user_store.h"

#include "platform/text.h"

namespace velk {
namespace {

// The text of a REG_SZ value without its terminating zero.
bool StringFromValue(const RegValue& value, std::string& text) {
    if (value.type != REG_SZ) return false;
    text = Utf16LeBytesToUtf8(value.data);
    while (!text.empty() && text.back() == '\0') text.pop_back();
    return true;
}

}  // namespace

std::string UaUserData(const ua::security::UaUserRecord& user) {
    return std::string(ua::security::RoleName(user.role)) + ":" + user.passwordHash;
}

bool ParseUaUserData(std::string_view name, std::string_view data,
                     ua::security::UaUserRecord& user) {
    const std::size_t colon = data.find(':');
    if (name.empty() || colon == std::string_view::npos) return false;
    const auto role = ua::security::ParseRole(data.substr(0, colon));
    const std::string_view hash = data.substr(colon + 1);
    if (!role || !hash.starts_with("scrypt$")) return false;
    user = {std::string(name), *role, std::string(hash)};
    return true;
}

std::vector<ua::security::UaUserRecord> UaUserStore::Load(std::vector<std::string>* skipped) {
    std::vector<ua::security::UaUserRecord> users;
    for (const std::string& name : store_.ValueNames(kUaUsersKey)) {
        const auto value = store_.ReadValue(kUaUsersKey, name);
        std::string data;
        ua::security::UaUserRecord user;
        if (value && StringFromValue(*value, data) && ParseUaUserData(name, data, user)) {
            users.push_back(std::move(user));
        } else if (skipped != nullptr) {
            skipped->push_back(name);
        }
    }
    return users;
}

bool UaUserStore::Exists(std::string_view name) {
    return store_.ReadValue(kUaUsersKey, name).has_value();
}

bool UaUserStore::Save(const ua::security::UaUserRecord& user) {
    if (user.name.empty() || user.passwordHash.empty()) return false;
    return store_.CreateKey(kUaUsersKey) &&
           store_.WriteValue(kUaUsersKey, user.name, RegValue::String(UaUserData(user)));
}

bool UaUserStore::Remove(std::string_view name) {
    if (!store_.KeyExists(kUaUsersKey)) return true;
    return store_.DeleteValue(kUaUsersKey, name);
}

}  // namespace velk
