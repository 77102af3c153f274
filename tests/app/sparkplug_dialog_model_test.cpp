// The "Sparkplug B" dialog's rules without a toolkit: enabling, the checks of OK with their
// focus, and the save under the Options dialog's rights.
#include "app/sparkplug/sparkplug_dialog_model.h"

#include <gtest/gtest.h>

#include "tests/app/settings_test_doubles.h"
#include "tests/support/memory_settings_store.h"

namespace velk {
namespace {

class SparkplugDialogTest : public ::testing::Test {
  protected:
    SparkplugDialogModel Model() { return SparkplugDialogModel(holder.Sparkplug(), "host1", ""); }

    testing::MemorySettingsStore store;
    SettingsAccess access{store};
    testing::SettableAdmin admin{true};
    testing::RecordingMessageBox messages;
    ServerSettingsHolder holder;
};

TEST_F(SparkplugDialogTest, FieldsFollowEnabledTheCertificatesAnSslUrlAndThePasswordAUser) {
    SparkplugDialogModel model = Model();
    EXPECT_FALSE(model.SetText("BrokerUrl", "tcp://b:1883")) << "disabled while not enabled";
    ASSERT_TRUE(model.SetText("Enabled", "1"));
    EXPECT_TRUE(model.SetText("BrokerUrl", "tcp://b:1883"));
    EXPECT_FALSE(model.IsEnabled("CaFile"));
    EXPECT_FALSE(model.IsEnabled("PasswordFile"));
    model.SetText("BrokerUrl", "ssl://b:8883");
    model.SetText("UserName", "edge");
    EXPECT_TRUE(model.IsEnabled("CaFile"));
    EXPECT_TRUE(model.IsEnabled("KeyFile"));
    EXPECT_TRUE(model.IsEnabled("PasswordFile"));
    // A certificate left from an ssl:// URL is dropped when the URL goes back to tcp://.
    model.SetText("CaFile", "/ca.crt");
    model.SetText("BrokerUrl", "tcp://b:1883");
    ASSERT_TRUE(model.Result());
    EXPECT_EQ(model.Result()->CaFile, "");
}

TEST_F(SparkplugDialogTest, OkRefusesWithTheFieldsFocusAndSavesForAnAdministratorOnly) {
    SparkplugDialogModel model = Model();
    model.SetText("Enabled", "1");
    model.SetText("BrokerUrl", "tcp://b:1883");
    model.SetText("GroupId", "Plant/1");
    EXPECT_FALSE(model.Ok(holder, access, admin, messages));
    EXPECT_EQ(model.FocusField(), "GroupId");
    model.SetText("GroupId", "Plant1");
    model.SetText("PublishPeriod", "0");
    EXPECT_FALSE(model.Ok(holder, access, admin, messages));
    EXPECT_EQ(model.FocusField(), "PublishPeriod");
    EXPECT_EQ(messages.shown.size(), 2u);
    EXPECT_TRUE(store.Operations().empty());
    EXPECT_EQ(holder.Sparkplug(), SparkplugSettings{});

    model.SetText("PublishPeriod", "250");
    admin.Set(false);
    EXPECT_FALSE(model.Ok(holder, access, admin, messages));
    EXPECT_EQ(messages.shown.back(), std::string(kAdminRightsMessage));
    EXPECT_EQ(holder.Sparkplug(), SparkplugSettings{});

    admin.Set(true);
    EXPECT_TRUE(model.Ok(holder, access, admin, messages));
    EXPECT_EQ(holder.Sparkplug().GroupId, "Plant1");
    EXPECT_EQ(holder.Sparkplug().PublishPeriod, 250u);
    EXPECT_EQ(LoadServerSettings(access, true).Sparkplug, holder.Sparkplug());
}

}  // namespace
}  // namespace velk
