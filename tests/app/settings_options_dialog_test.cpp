#include <gtest/gtest.h>

#include "app/options_dialog_model.h"
#include "tests/app/settings_test_doubles.h"
#include "tests/support/memory_settings_store.h"

namespace velk {
namespace {

using C = OptionsControl;
using testing::MemorySettingsStore;
using testing::RecordingMessageBox;
using testing::SettableAdmin;

const std::string kApp(kMachineApplicationKey);

ServerSettings Configured() {
    ServerSettings s;
    s.ChangelessUpdate = true;
    s.FullTagPath = 0;
    s.AreaDelimiter = "/";
    s.TraceFile = {"/var/log/velk.txt", 2048};
    s.Redundancy = {1, 1, 8300, "10.0.0.2", "10.0.0.1"};
    s.Shutdown = {15, 30};
    s.EventStack = {100, 200, 40};
    return s;
}

class OptionsDialogTest : public ::testing::Test {
  protected:
    // OK on the model; the dialog closes when it returns true.
    bool Ok(OptionsDialogModel& model) { return model.Ok(holder, access, admin, messages); }

    MemorySettingsStore store;
    SettingsAccess access{store};
    SettableAdmin admin{true};
    RecordingMessageBox messages;
    ServerSettingsHolder holder{Configured()};
};

TEST_F(OptionsDialogTest, ControlsAreListedInTheDialogsOrderWithTheirLabels) {
    std::vector<std::string> labels;
    for (const auto& info : OptionsControls()) labels.emplace_back(info.label);
    EXPECT_EQ(
        labels,
        (std::vector<std::string>{
            "Enable changeless update", "Enable short tag name in callbacks",
            " Trace file options ", "Trace file name:", "Trace file size:", "Enable Redundancy",
            "Synchronisation master", "Redundant Server:", "Gateway address:", "TCP Port:",
            "Shutdown on disconnected", "Time delay:", "Shutdown on comm. failure",
            "Time delay:", "Communication retry:", "Area name delimiter:", "OK", "Cancel"}));
    EXPECT_EQ(OptionsControls()[4].unit, "kBytes");
    EXPECT_EQ(OptionsControls()[13].unit, "sec");
    EXPECT_EQ(kOptionsDialogTitle, "OPC Server Options");
}

TEST_F(OptionsDialogTest, OpeningShowsTheInMemorySettings) {
    const OptionsDialogModel model(Configured());
    EXPECT_TRUE(model.Checked(C::ChangelessUpdate));
    EXPECT_TRUE(model.Checked(C::ShortTagName)) << "FullTagPath 0";
    EXPECT_EQ(model.Text(C::TraceFileName), "/var/log/velk.txt");
    EXPECT_EQ(model.Text(C::TraceFileSize), "2048");
    EXPECT_TRUE(model.Checked(C::EnableRedundancy));
    EXPECT_TRUE(model.Checked(C::SyncMaster));
    EXPECT_EQ(model.Text(C::RedundantServer), "10.0.0.2");
    EXPECT_EQ(model.Text(C::GatewayAddress), "10.0.0.1");
    EXPECT_EQ(model.Text(C::TcpPort), "8300");
    EXPECT_TRUE(model.Checked(C::ShutdownOnDisconnected));
    EXPECT_EQ(model.Text(C::DisconnectDelay), "15");
    EXPECT_TRUE(model.Checked(C::ShutdownOnCommFailure));
    EXPECT_EQ(model.Text(C::CommFailDelay), "30");
    EXPECT_EQ(model.Text(C::AreaDelimiter), "/");
    EXPECT_FALSE(model.IsVisible(C::CommunicationRetry));
    for (const auto c : {C::SyncMaster, C::RedundantServer, C::GatewayAddress, C::TcpPort,
                         C::DisconnectDelay, C::CommFailDelay}) {
        EXPECT_TRUE(model.IsEnabled(c));
    }
    EXPECT_FALSE(model.IsEnabled(C::ShutdownOnDisconnected)) << "always disabled";
}

TEST_F(OptionsDialogTest, NeverDelaysShowZeroWithTheirBoxesCleared) {
    const OptionsDialogModel model{ServerSettings{}};
    EXPECT_FALSE(model.Checked(C::ShortTagName));
    EXPECT_FALSE(model.Checked(C::ShutdownOnDisconnected));
    EXPECT_EQ(model.Text(C::DisconnectDelay), "0");
    EXPECT_FALSE(model.IsEnabled(C::DisconnectDelay));
    EXPECT_FALSE(model.Checked(C::ShutdownOnCommFailure));
    EXPECT_EQ(model.Text(C::CommFailDelay), "0");
    EXPECT_FALSE(model.IsEnabled(C::CommFailDelay));
    EXPECT_EQ(model.Text(C::TcpPort), "8201");
    for (const auto c : {C::SyncMaster, C::RedundantServer, C::GatewayAddress, C::TcpPort}) {
        EXPECT_FALSE(model.IsEnabled(c));
    }
}

TEST_F(OptionsDialogTest, RedundancyBoxGovernsItsGroup) {
    ServerSettings s;
    s.Redundancy.SyncMaster = 1;  // without Enabled: cleared when the dialog opens
    OptionsDialogModel model(s);
    EXPECT_FALSE(model.Checked(C::SyncMaster));
    model.SetChecked(C::SyncMaster, true);
    EXPECT_FALSE(model.Checked(C::SyncMaster)) << "a disabled box ignores clicks";
    EXPECT_FALSE(model.SetText(C::RedundantServer, "10.0.0.2"));

    model.SetChecked(C::EnableRedundancy, true);
    for (const auto c : {C::SyncMaster, C::RedundantServer, C::GatewayAddress, C::TcpPort}) {
        EXPECT_TRUE(model.IsEnabled(c));
    }
    model.SetChecked(C::SyncMaster, true);
    EXPECT_TRUE(model.SetText(C::RedundantServer, "10.0.0.2"));
    model.SetChecked(C::EnableRedundancy, false);
    EXPECT_FALSE(model.Checked(C::SyncMaster)) << "clearing redundancy clears the master box";
    EXPECT_FALSE(model.IsEnabled(C::TcpPort));
    EXPECT_EQ(model.Text(C::RedundantServer), "10.0.0.2");

    ASSERT_TRUE(Ok(model));
    EXPECT_EQ(holder.Redundancy().SyncMaster, 0u);
    EXPECT_EQ(holder.Redundancy().Enabled, 0u);
}

TEST_F(OptionsDialogTest, CommFailureBoxGovernsItsDelay) {
    OptionsDialogModel model(Configured());
    model.SetChecked(C::ShutdownOnCommFailure, false);
    EXPECT_FALSE(model.IsEnabled(C::CommFailDelay));
    EXPECT_EQ(model.Text(C::CommFailDelay), "0");
    model.SetChecked(C::ShutdownOnCommFailure, true);
    EXPECT_TRUE(model.IsEnabled(C::CommFailDelay));
    EXPECT_EQ(model.Text(C::CommFailDelay), "0");
    ASSERT_TRUE(Ok(model));
    EXPECT_EQ(holder.Shutdown().OnCommFail, 0) << "checked with a delay of 0 stores 0";
    EXPECT_EQ(store.ReadValue(kApp + "\\Shutdown", "OnCommFail"), RegValue::Dword(0));

    OptionsDialogModel again(holder.Get());
    again.SetChecked(C::ShutdownOnCommFailure, false);
    ASSERT_TRUE(Ok(again));
    EXPECT_EQ(store.ReadValue(kApp + "\\Shutdown", "OnCommFail"), RegValue::Dword(0xFFFFFFFF));
}

TEST_F(OptionsDialogTest, FieldsRefuseWhatTheirControlsRefuseWhileTyping) {
    OptionsDialogModel model(Configured());
    EXPECT_FALSE(model.SetText(C::TcpPort, "80a"));
    EXPECT_FALSE(model.SetText(C::TcpPort, "-1"));
    EXPECT_EQ(model.Text(C::TcpPort), "8300");
    EXPECT_FALSE(model.SetText(C::AreaDelimiter, "::"));
    EXPECT_EQ(model.Text(C::AreaDelimiter), ":");
    EXPECT_FALSE(model.SetText(C::AreaDelimiter, "€$"));
    EXPECT_EQ(model.Text(C::AreaDelimiter), "€") << "one character, however many bytes";
    EXPECT_TRUE(model.SetText(C::AreaDelimiter, ""));
    EXPECT_FALSE(model.SetText(C::ShutdownOnDisconnected, "1"));
}

TEST_F(OptionsDialogTest, ValidationRunsInItsOrderAndFocusesTheFirstBadField) {
    ServerSettings s = Configured();
    s.AreaDelimiter = "::";  // only a store edited by hand gives two characters
    OptionsDialogModel model(s);
    ASSERT_TRUE(model.SetText(C::TcpPort, "70000"));
    ASSERT_TRUE(model.SetText(C::TraceFileSize, "1.5"));
    ASSERT_TRUE(model.SetText(C::DisconnectDelay, "x"));
    ASSERT_TRUE(model.SetText(C::CommFailDelay, "2147483648"));

    // A port is refused rather than cut to 16 bits (70000 would be 4464).
    const std::vector<std::pair<C, std::string>> expected = {
        {C::TcpPort, "Enter an integer between 1 and 65535."},
        {C::TraceFileSize, "Enter an integer."},
        {C::DisconnectDelay, "Enter an integer."},
        {C::CommFailDelay, "Enter an integer."},
        {C::AreaDelimiter, "Enter no more than 1 characters."},
    };
    const std::vector<std::pair<C, std::string>> fixes = {{C::TcpPort, "502"},
                                                          {C::TraceFileSize, "-5"},
                                                          {C::DisconnectDelay, " 12 "},
                                                          {C::CommFailDelay, "+7"},
                                                          {C::AreaDelimiter, "|"}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        messages.shown.clear();
        EXPECT_FALSE(Ok(model)) << "the dialog stays open";
        EXPECT_EQ(model.FocusField(), expected[i].first);
        EXPECT_EQ(messages.shown, std::vector<std::string>{expected[i].second});
        EXPECT_EQ(holder.Get(), Configured()) << "nothing changes in memory";
        EXPECT_TRUE(store.Operations().empty()) << "nothing is written";
        ASSERT_TRUE(model.SetText(fixes[i].first, fixes[i].second));
    }
    messages.shown.clear();
    EXPECT_TRUE(Ok(model));
    EXPECT_TRUE(messages.shown.empty());
    const ServerSettings saved = holder.Get();
    EXPECT_EQ(saved.Redundancy.Port, 502);
    EXPECT_EQ(saved.TraceFile.FileSize, 0xFFFFFFFBu);
    EXPECT_EQ(saved.Shutdown.OnDisconnect, 12);
    EXPECT_EQ(saved.Shutdown.OnCommFail, 7);
    EXPECT_EQ(saved.AreaDelimiter, "|");
}

TEST_F(OptionsDialogTest, DisabledFieldsAreCheckedToo) {
    ServerSettings s;
    OptionsDialogModel model(s);  // redundancy off: "TCP Port:" disabled
    ServerSettings enabled = s;
    enabled.Redundancy.Enabled = 1;
    OptionsDialogModel editing(enabled);
    ASSERT_TRUE(editing.SetText(C::TcpPort, "99999999999"));  // more than 32 bits
    editing.SetChecked(C::EnableRedundancy, false);
    EXPECT_FALSE(Ok(editing));
    EXPECT_EQ(editing.FocusField(), C::TcpPort);
    EXPECT_EQ(messages.shown, std::vector<std::string>{"Enter a positive integer."});
    EXPECT_TRUE(Ok(model));
}

TEST_F(OptionsDialogTest, PeerAddressesThatNoAddressFieldWouldTakeAreRefusedOnOk) {
    for (const auto field : {C::RedundantServer, C::GatewayAddress}) {
        for (const char* junk : {"10.0.0.2x", "peer", "10.0.0", "10.0.0.2 10.0.0.3", "010.0.0.2"}) {
            SCOPED_TRACE(junk);
            OptionsDialogModel model(Configured());
            ASSERT_TRUE(model.SetText(field, junk));
            messages.shown.clear();
            EXPECT_FALSE(Ok(model));
            EXPECT_EQ(model.FocusField(), field);
            EXPECT_EQ(messages.shown,
                      std::vector<std::string>{std::string(kEnterIpAddressMessage)});
        }
    }
    OptionsDialogModel cleared(Configured());
    ASSERT_TRUE(cleared.SetText(C::GatewayAddress, " "));
    EXPECT_TRUE(Ok(cleared));
    EXPECT_EQ(holder.Get().Redundancy.AlternateGateway, "") << "no route handling";
}

TEST_F(OptionsDialogTest, OkCopiesTheValuesAndSavesThemInOrder) {
    OptionsDialogModel model(Configured());
    model.SetChecked(C::ChangelessUpdate, false);
    model.SetChecked(C::ShortTagName, false);
    ASSERT_TRUE(model.SetText(C::TraceFileName, "/tmp/new.txt"));
    ASSERT_TRUE(model.SetText(C::TraceFileSize, "512"));
    ASSERT_TRUE(model.SetText(C::RedundantServer, "10.0.0.3 "));
    ASSERT_TRUE(model.SetText(C::GatewayAddress, "10.0.0.9"));
    ASSERT_TRUE(model.SetText(C::TcpPort, "65535"));
    ASSERT_TRUE(model.SetText(C::DisconnectDelay, "45"));
    ASSERT_TRUE(model.SetText(C::AreaDelimiter, ""));

    ASSERT_TRUE(Ok(model));
    const ServerSettings s = holder.Get();
    EXPECT_FALSE(s.ChangelessUpdate);
    EXPECT_EQ(s.FullTagPath, 1u);
    EXPECT_EQ(s.TraceFile.FileName, "/tmp/new.txt");
    EXPECT_EQ(s.TraceFile.FileSize, 512u);
    EXPECT_EQ(s.Redundancy.Enabled, 1u);
    EXPECT_EQ(s.Redundancy.SyncMaster, 1u);
    EXPECT_EQ(s.Redundancy.AlternateServer, "10.0.0.3") << "stored without the blank";
    EXPECT_EQ(s.Redundancy.AlternateGateway, "10.0.0.9");
    EXPECT_EQ(s.Redundancy.Port, 65535);
    EXPECT_EQ(s.Shutdown.OnDisconnect, 45);
    EXPECT_EQ(s.Shutdown.OnCommFail, 30);
    EXPECT_EQ(s.AreaDelimiter, "") << "an empty delimiter is accepted";
    EXPECT_EQ(s.EventStack, Configured().EventStack) << "the dialog does not touch it";

    EXPECT_EQ(
        store.WrittenNames(),
        (std::vector<std::string>{"FullTagPath", "ChangelessUpdate", "FileSize", "FileName",
                                  "Enabled", "SyncMaster", "AlternateServer", "AlternateGateway",
                                  "Port", "OnDisconnect", "OnCommFail", "AreaDelimiter"}));
    EXPECT_EQ(store.ReadValue(kApp + "\\Redundancy", "Port"), RegValue::Dword(65535));
    EXPECT_EQ(store.ReadValue(kApp, "FullTagPath"), RegValue::Dword(1));
    EXPECT_EQ(store.ReadValue(kApp, "AreaDelimiter"), RegValue::String(""));
}

TEST_F(OptionsDialogTest, ShortTagNamesStoreFullTagPathZero) {
    OptionsDialogModel model{ServerSettings{}};
    model.SetChecked(C::ShortTagName, true);
    ASSERT_TRUE(Ok(model));
    EXPECT_EQ(holder.FullTagPath(), 0u);
    EXPECT_EQ(store.ReadValue(kApp, "FullTagPath"), RegValue::Dword(0));
}

TEST_F(OptionsDialogTest, AUserWhoIsNotAnAdministratorChangesThisProcessOnly) {
    admin.Set(false);
    OptionsDialogModel model(Configured());
    model.SetChecked(C::ChangelessUpdate, false);
    EXPECT_TRUE(Ok(model));
    EXPECT_FALSE(holder.ChangelessUpdate());
    EXPECT_EQ(messages.shown,
              std::vector<std::string>{
                  "To modify the settings you should run the program with administration rights!"});
    EXPECT_TRUE(store.Operations().empty());
}

}  // namespace
}  // namespace velk
