#include "platform/linux/settings_paths.h"

#include <gtest/gtest.h>

#include <map>

namespace velk {
namespace {

EnvironmentLookup Env(std::map<std::string, std::string> vars) {
    return [vars = std::move(vars)](const char* name) -> std::optional<std::string> {
        const auto found = vars.find(name);
        if (found == vars.end()) return std::nullopt;
        return found->second;
    };
}

TEST(SettingsPathsTest, MachineStoreIsInEtcUnlessTheEnvironmentNamesAnother) {
    EXPECT_EQ(MachineSettingsPath(Env({})), "/etc/velkopc/settings.reg");
    EXPECT_EQ(MachineSettingsPath(Env({{"VELKOPC_SETTINGS", ""}})), "/etc/velkopc/settings.reg");
    EXPECT_EQ(MachineSettingsPath(Env({{"VELKOPC_SETTINGS", "/tmp/m.reg"}})), "/tmp/m.reg");
}

TEST(SettingsPathsTest, UserStoreFollowsTheOverrideThenXdgThenHome) {
    EXPECT_EQ(UserSettingsPath(Env({{"VELKOPC_USER_SETTINGS", "/tmp/u.reg"},
                                    {"XDG_CONFIG_HOME", "/cfg"},
                                    {"HOME", "/home/op"}})),
              "/tmp/u.reg");
    EXPECT_EQ(UserSettingsPath(Env({{"XDG_CONFIG_HOME", "/cfg"}, {"HOME", "/home/op"}})),
              "/cfg/velkopc/settings.reg");
    // Empty or relative XDG_CONFIG_HOME is not usable.
    EXPECT_EQ(UserSettingsPath(Env({{"XDG_CONFIG_HOME", ""}, {"HOME", "/home/op"}})),
              "/home/op/.config/velkopc/settings.reg");
    EXPECT_EQ(UserSettingsPath(Env({{"XDG_CONFIG_HOME", "cfg"}, {"HOME", "/home/op"}})),
              "/home/op/.config/velkopc/settings.reg");
    // Without HOME the password database names the home directory.
    const std::string fallback = UserSettingsPath(Env({}));
    EXPECT_TRUE(fallback.empty() || fallback.ends_with("/.config/velkopc/settings.reg"))
        << fallback;
}

}  // namespace
}  // namespace velk
