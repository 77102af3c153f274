#include "tools/velkopc_config/ua_user_commands.h"

#include <iostream>
#include <optional>

#include "app/opcua/ua_user_store.h"
#include "app/server_settings.h"
#include "opcua/security/user_password.h"
#include "platform/linux/owner_only_file.h"
#include "platform/linux/posix_session.h"
#include "platform/linux/reg_file_store.h"
#include "platform/linux/settings_paths.h"
#include "platform/linux/terminal_password.h"
#include "tools/velkopc_config/tool_context.h"

namespace velk {
namespace {

using ua::security::UaRole;
using ua::security::UaUserRecord;

int Fail(const std::string& message) {
    std::cerr << message << '\n';
    return kExitFailure;
}

int UaUserUsage() {
    std::cerr << "usage:\n"
                 "  velkopc-config ua-user add NAME ROLE [--password-stdin]\n"
                 "  velkopc-config ua-user remove NAME\n"
                 "  velkopc-config ua-user list\n"
                 "ROLE is Viewer or Operator.\n";
    return kExitUsage;
}

// The store as it can be used: a malformed or unreadable file is reported, not treated as
// empty.
bool Usable(const RegFileStore& store) {
    const std::string problem = store.Problem();
    if (problem.empty()) return true;
    std::cerr << "The settings store cannot be used: " << problem << '\n';
    return false;
}

bool RestrictStore(const RegFileStore& store) {
    std::string error;
    if (RestrictFileToOwner(store.Path(), error)) return true;
    std::cerr << "The settings store cannot be made private: " << error << '\n';
    return false;
}

std::optional<std::string> AskPassword(const std::string& name, bool fromStdin) {
    if (fromStdin) {
        auto password = ReadPasswordFromStdin();
        if (!password) std::cerr << "No password on standard input.\n";
        return password;
    }
    auto first = ReadPasswordFromTerminal("Password for " + name + ": ");
    if (!first) {
        std::cerr << "There is no terminal to ask the password on; use --password-stdin.\n";
        return std::nullopt;
    }
    if (first->empty()) return first;  // refused as empty by the caller
    const auto second = ReadPasswordFromTerminal("Repeat the password: ");
    if (!second || *second != *first) {
        std::cerr << "The passwords do not match.\n";
        return std::nullopt;
    }
    return first;
}

int Add(RegFileStore& file, const std::vector<std::string>& args) {
    if (args.size() < 3 || args.size() > 4) return UaUserUsage();
    const bool fromStdin = args.size() == 4;
    if (fromStdin && args[3] != "--password-stdin") return UaUserUsage();
    const std::string& name = args[1];
    const auto role = ua::security::ParseRole(args[2]);
    if (!role) return Fail("Unknown role \"" + args[2] + "\": use Viewer or Operator.");
    if (name.empty()) return Fail("The user name must not be empty.");
    UaUserStore store(file);
    if (!Usable(file)) return kExitFailure;
    if (store.Exists(name)) return Fail("The user \"" + name + "\" exists already.");
    const auto password = AskPassword(name, fromStdin);
    if (!password) return kExitFailure;
    if (password->empty()) return Fail("The password must not be empty.");
    UaUserRecord user{name, *role, ua::security::HashPassword(*password)};
    if (user.passwordHash.empty()) return Fail("The password could not be hashed.");
    // The file is private before the first hash goes into it.
    if (!file.CreateKey(kUaUsersKey) || !RestrictStore(file)) {
        return Fail("The settings store cannot be written: " + file.Problem());
    }
    if (!store.Save(user)) return Fail("The settings store cannot be written: " + file.Problem());
    std::cout << "Added the " << ua::security::RoleName(user.role) << " \"" << name << "\".\n";
    return 0;
}

int Remove(RegFileStore& file, const std::vector<std::string>& args) {
    if (args.size() != 2) return UaUserUsage();
    const std::string& name = args[1];
    UaUserStore store(file);
    if (!Usable(file)) return kExitFailure;
    if (!store.Exists(name)) return Fail("There is no user \"" + name + "\".");
    if (!store.Remove(name)) return Fail("The settings store cannot be written: " + file.Problem());
    std::cout << "Removed the user \"" << name << "\".\n";
    return 0;
}

int List(RegFileStore& file, const std::vector<std::string>& args) {
    if (args.size() != 1) return UaUserUsage();
    if (!Usable(file)) return kExitFailure;
    std::vector<std::string> skipped;
    for (const UaUserRecord& user : UaUserStore(file).Load(&skipped)) {
        std::cout << user.name << '\t' << ua::security::RoleName(user.role) << '\n';
    }
    for (const std::string& name : skipped) {
        std::cerr << "The user \"" << name << "\" is not stored as role:hash; skipped.\n";
    }
    return 0;
}

}  // namespace

int RunUaUserCommand(ToolContext&, const std::vector<std::string>& args) {
    if (args.empty()) return UaUserUsage();
    const std::string& action = args[0];
    if (action != "add" && action != "remove" && action != "list") return UaUserUsage();
    if (action != "list" && !PosixAdminCheck().IsAdministrator()) {
        return Fail(std::string(kAdminRightsMessage));
    }
    RegFileStore file(MachineSettingsPath());
    if (action == "add") return Add(file, args);
    if (action == "remove") return Remove(file, args);
    return List(file, args);
}

}  // namespace velk
