#include "modbus/ip_config_dialog_model.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "modbus/ip_address_text.h"
#include "tests/support/fake_route_table.h"

namespace velk {
namespace {

using ::testing::ElementsAre;
using testing::FakeRouteTable;
using ::testing::IsEmpty;

std::uint32_t Ip(const char* text) { return DottedToAddress(text); }

constexpr IpChannel kPrimary = IpChannel::kPrimary;
constexpr IpChannel kSecondary = IpChannel::kSecondary;

class IpConfigDialogModelTest : public ::testing::Test {
  protected:
    IpConfigDialogModelTest() {
        table.AddAdapter(2, "LAN1", {{Ip("192.168.10.5"), Ip("255.255.255.0")}});
        table.AddAdapter(
            7, "LAN2", {{Ip("10.1.0.9"), Ip("255.255.0.0")}, {Ip("10.2.0.9"), Ip("255.255.0.0")}});
        table.AddAdapter(9, "BOND", {{Ip("10.2.0.9"), Ip("255.255.0.0")}});
        table.AddAdapter(11, "SPARE");
        stored.primaryIpAddress = "172.16.4.20";
        stored.secondaryIpAddress = "172.17.4.20";
        stored.primaryGatewayAddress = "192.168.10.5";
        stored.secondaryGatewayAddress = "10.2.0.9";
    }
    FakeRouteTable table;
    IpAddresses stored;
};

TEST_F(IpConfigDialogModelTest, OpensWithOneLinePerAdapterAndTheStoredTexts) {
    const NetworkAdapterList adapters(table);
    const IpConfigDialogModel dialog(adapters, stored);
    EXPECT_THAT(dialog.GatewayDeviceLines(),
                ElementsAre("LAN1 [02]", "LAN2 [07]", "BOND [09]", "SPARE [11]"));
    EXPECT_EQ(dialog.IpAddressText(kPrimary), "172.16.4.20");
    EXPECT_EQ(dialog.IpAddressText(kSecondary), "172.17.4.20");
    EXPECT_EQ(dialog.GatewayAddressText(kPrimary), "192.168.10.5");
    EXPECT_EQ(dialog.GatewayAddressText(kSecondary), "10.2.0.9");
}

TEST_F(IpConfigDialogModelTest, SelectsTheLastAdapterHoldingTheStoredGateway) {
    const NetworkAdapterList adapters(table);
    const IpConfigDialogModel dialog(adapters, stored);
    EXPECT_EQ(dialog.SelectedGatewayDevice(kPrimary), 0);
    // 10.2.0.9 is on LAN2 and on BOND: the later one wins.
    EXPECT_EQ(dialog.SelectedGatewayDevice(kSecondary), 2);
    EXPECT_THAT(dialog.GatewayAddressChoices(kSecondary), ElementsAre("10.2.0.9"));
    EXPECT_EQ(dialog.SelectedGatewayAddress(kSecondary), 0);
}

TEST_F(IpConfigDialogModelTest, GatewayOfNoAdapterSelectsNoneAndKeepsTheText) {
    stored.primaryGatewayAddress = "0.0.0.0";
    stored.secondaryGatewayAddress = "10.2.0.99";
    const NetworkAdapterList adapters(table);
    const IpConfigDialogModel dialog(adapters, stored);
    EXPECT_EQ(dialog.SelectedGatewayDevice(kPrimary), IpConfigDialogModel::kNone);
    EXPECT_EQ(dialog.SelectedGatewayDevice(kSecondary), IpConfigDialogModel::kNone);
    EXPECT_THAT(dialog.GatewayAddressChoices(kSecondary), IsEmpty());
    EXPECT_EQ(dialog.GatewayAddressText(kSecondary), "10.2.0.99");
    EXPECT_EQ(dialog.Ok(), stored);
}

TEST_F(IpConfigDialogModelTest, SelectingAnAdapterFillsItsAddressesAndTakesTheFirst) {
    const NetworkAdapterList adapters(table);
    IpConfigDialogModel dialog(adapters, stored);
    ASSERT_TRUE(dialog.SelectGatewayDevice(kPrimary, 1));
    EXPECT_EQ(dialog.SelectedGatewayDevice(kPrimary), 1);
    EXPECT_THAT(dialog.GatewayAddressChoices(kPrimary), ElementsAre("10.1.0.9", "10.2.0.9"));
    EXPECT_EQ(dialog.SelectedGatewayAddress(kPrimary), 0);
    EXPECT_EQ(dialog.GatewayAddressText(kPrimary), "10.1.0.9");
    ASSERT_TRUE(dialog.SelectGatewayAddress(kPrimary, 1));
    EXPECT_EQ(dialog.GatewayAddressText(kPrimary), "10.2.0.9");
    // The other channel is untouched.
    EXPECT_EQ(dialog.SelectedGatewayDevice(kSecondary), 2);
    EXPECT_EQ(dialog.GatewayAddressText(kSecondary), "10.2.0.9");

    ASSERT_TRUE(dialog.SelectGatewayDevice(kPrimary, 3));  // SPARE has no address
    EXPECT_THAT(dialog.GatewayAddressChoices(kPrimary), IsEmpty());
    EXPECT_EQ(dialog.SelectedGatewayAddress(kPrimary), IpConfigDialogModel::kNone);
    EXPECT_EQ(dialog.GatewayAddressText(kPrimary), "");
}

TEST_F(IpConfigDialogModelTest, SelectionsOutsideTheListsChangeNothing) {
    const NetworkAdapterList adapters(table);
    IpConfigDialogModel dialog(adapters, stored);
    EXPECT_FALSE(dialog.SelectGatewayDevice(kPrimary, 4));
    EXPECT_FALSE(dialog.SelectGatewayDevice(kPrimary, -1));
    EXPECT_FALSE(dialog.SelectGatewayAddress(kPrimary, 1));
    EXPECT_EQ(dialog.SelectedGatewayDevice(kPrimary), 0);
    EXPECT_EQ(dialog.GatewayAddressText(kPrimary), "192.168.10.5");
    EXPECT_EQ(dialog.SelectedGatewayAddress(kPrimary), 0);
}

TEST_F(IpConfigDialogModelTest, OkRefusesTextsThatAreNoAddressAndHandsBackTrimmedOnes) {
    const NetworkAdapterList adapters(table);
    IpConfigDialogModel dialog(adapters, stored);
    dialog.SetIpAddressText(kPrimary, "plc-north");
    dialog.SetIpAddressText(kSecondary, "");
    dialog.SetGatewayAddressText(kPrimary, "10.9.9.9");
    ASSERT_TRUE(dialog.SelectGatewayDevice(kSecondary, 1));
    dialog.SetGatewayAddressText(kSecondary, " 10.1.0.9 ");
    EXPECT_EQ(dialog.SelectedGatewayAddress(kSecondary), IpConfigDialogModel::kNone);

    auto problem = dialog.Check();
    ASSERT_TRUE(problem);
    EXPECT_EQ(problem->channel, kPrimary);
    EXPECT_FALSE(problem->gateway);
    dialog.SetIpAddressText(kPrimary, "10.0.0.7 ");
    dialog.SetGatewayAddressText(kPrimary, "10.9.9");
    problem = dialog.Check();
    ASSERT_TRUE(problem);
    EXPECT_EQ(problem->channel, kPrimary);
    EXPECT_TRUE(problem->gateway);
    dialog.SetGatewayAddressText(kPrimary, "10.9.9.9");
    EXPECT_FALSE(dialog.Check());

    IpAddresses expected;
    expected.primaryIpAddress = "10.0.0.7";
    expected.secondaryIpAddress = "";
    expected.primaryGatewayAddress = "10.9.9.9";
    expected.secondaryGatewayAddress = "10.1.0.9";
    EXPECT_EQ(dialog.Ok(), expected);
    EXPECT_EQ(dialog.Cancel(), stored);
}

TEST_F(IpConfigDialogModelTest, HostWithoutAdaptersListsNothingButTextsCanBeTyped) {
    table.adapters.clear();
    const NetworkAdapterList adapters(table);
    IpConfigDialogModel dialog(adapters, stored);
    EXPECT_THAT(dialog.GatewayDeviceLines(), IsEmpty());
    EXPECT_EQ(dialog.SelectedGatewayDevice(kPrimary), IpConfigDialogModel::kNone);
    EXPECT_FALSE(dialog.SelectGatewayDevice(kPrimary, 0));
    dialog.SetGatewayAddressText(kPrimary, "10.1.0.9");
    EXPECT_EQ(dialog.Ok().primaryGatewayAddress, "10.1.0.9");
}

TEST_F(IpConfigDialogModelTest, FailedAdapterQueryBehavesLikeAHostWithoutAdapters) {
    table.adaptersFail = true;
    const NetworkAdapterList adapters(table);
    const IpConfigDialogModel dialog(adapters, stored);
    EXPECT_THAT(dialog.GatewayDeviceLines(), IsEmpty());
    EXPECT_EQ(dialog.Ok(), stored);
}

}  // namespace
}  // namespace velk
