// The "OPC UA" dialog's rules without a toolkit: enabling, read-only for a user without the
// rights, the checks of OK with their focus, and the save into the store and the settings.
#include "app/opcua/ua_dialog_model.h"

#include <gtest/gtest.h>

#include "tests/app/settings_test_doubles.h"
#include "tests/support/memory_settings_store.h"

namespace velk {
namespace {

class UaDialogTest : public ::testing::Test {
  protected:
    UaDialogModel Model(bool administrator = true) {
        return UaDialogModel(holder.OpcUa(), UaHostFacts{"plant-pc", "/home/op/pki"},
                             administrator);
    }

    testing::MemorySettingsStore store;
    SettingsAccess access{store};
    testing::SettableAdmin admin{true};
    testing::RecordingMessageBox messages;
    ServerSettingsHolder holder;
};

TEST_F(UaDialogTest, FieldsFollowEnabledAndAreReadOnlyWithoutTheRights) {
    UaDialogModel model = Model();
    ASSERT_TRUE(model.SetText("Port", "4841"));
    ASSERT_TRUE(model.SetText("Enabled", "0"));
    EXPECT_FALSE(model.SetText("Port", "4842")) << "disabled while not enabled";
    EXPECT_TRUE(model.IsEnabled("Enabled"));
    EXPECT_EQ(model.Text("Port"), "4841");

    UaDialogModel viewer = Model(false);
    EXPECT_TRUE(viewer.ReadOnly());
    for (const UaField& field : UaFields()) {
        EXPECT_FALSE(viewer.IsEnabled(field.setting)) << field.setting;
        EXPECT_FALSE(viewer.SetText(field.setting, "1")) << field.setting;
    }
    EXPECT_EQ(viewer.Text("MaxMonitoredItems"), "500000") << "shown as stored";
}

TEST_F(UaDialogTest, OkRefusesWithTheFieldsFocusAndSavesEveryValueForAnAdministrator) {
    UaDialogModel model = Model();
    model.SetText("BindAddresses", "127.0.0.1,localhost");
    EXPECT_FALSE(model.Ok(holder, access, admin, messages));
    EXPECT_EQ(model.FocusField(), "BindAddresses");
    model.SetText("BindAddresses", "127.0.0.1");
    model.SetText("MaxSessions", "many");
    EXPECT_FALSE(model.Ok(holder, access, admin, messages));
    EXPECT_EQ(model.FocusField(), "MaxSessions");
    EXPECT_EQ(messages.shown.size(), 2u);
    EXPECT_TRUE(store.Operations().empty());

    // A disabled server is not checked beyond its numbers.
    model.SetText("MaxSessions", "5");
    model.SetText("PkiDirectory", "relative");
    model.SetText("Enabled", "0");
    EXPECT_TRUE(model.Ok(holder, access, admin, messages));
    model.SetText("Enabled", "1");
    EXPECT_FALSE(model.Ok(holder, access, admin, messages));
    EXPECT_EQ(model.FocusField(), "PkiDirectory");

    model.SetText("PkiDirectory", "/srv/pki");
    model.SetText("AllowSecurityNone", "1");
    model.SetText("Port", "4850");
    store.ClearOperations();
    ASSERT_TRUE(model.Ok(holder, access, admin, messages));
    const OpcUaSettings saved = holder.OpcUa();
    EXPECT_EQ(saved.Port, 4850u);
    EXPECT_EQ(saved.BindAddresses, "127.0.0.1");
    EXPECT_EQ(saved.AllowSecurityNone, 1u);
    EXPECT_EQ(saved.MaxSessions, 5u);
    EXPECT_EQ(store.WrittenNames().size(), 9u);
    EXPECT_EQ(LoadServerSettings(access, true).OpcUa, saved) << "the store holds what was taken";
}

TEST_F(UaDialogTest, OkWithoutTheRightsShowsTheRightsMessageAndChangesNothing) {
    UaDialogModel model = Model();
    model.SetText("Port", "4999");
    admin.Set(false);
    EXPECT_FALSE(model.Ok(holder, access, admin, messages));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0], std::string(kAdminRightsMessage));
    EXPECT_TRUE(store.Operations().empty());
    EXPECT_EQ(holder.OpcUa(), OpcUaSettings{});
}

}  // namespace
}  // namespace velk
