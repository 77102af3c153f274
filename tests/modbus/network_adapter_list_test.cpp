#include "modbus/network_adapter_list.h"

#include <gtest/gtest.h>

#include "modbus/ip_address_text.h"
#include "tests/support/fake_route_table.h"

namespace velk {
namespace {

using testing::FakeRouteTable;

std::uint32_t Ip(const char* text) { return DottedToAddress(text); }

TEST(NetworkAdapterListTest, CopiesTheAdaptersInOrderWithTheirNetworksAsDottedTexts) {
    FakeRouteTable table;
    table.AddAdapter(1, "lo", {{Ip("127.0.0.1"), Ip("255.0.0.0")}}).interfaceType = 24;
    PlatformAdapter& lan2 = table.AddAdapter(
        7, "LAN2", {{Ip("10.1.0.9"), Ip("255.255.0.0")}, {Ip("10.2.0.9"), Ip("255.255.255.128")}});
    lan2.description = "Ethernet (veth)";
    table.AddAdapter(12, "WAN");

    const NetworkAdapterList list(table);
    ASSERT_EQ(list.Count(), 3u);
    EXPECT_EQ(list.At(0).interfaceType, 24u);
    EXPECT_EQ(list.At(0).friendlyName, "lo");
    const BNetworkAdapter& adapter = list.At(1);
    EXPECT_EQ(adapter.interfaceIndex, 7u);
    EXPECT_EQ(adapter.interfaceType, 6u);
    EXPECT_EQ(adapter.friendlyName, "LAN2");
    EXPECT_EQ(adapter.description, "Ethernet (veth)");
    ASSERT_EQ(adapter.networks.size(), 2u);
    EXPECT_EQ(adapter.networks[0]->address, "10.1.0.9");
    EXPECT_EQ(adapter.networks[0]->mask, "255.255.0.0");
    EXPECT_EQ(adapter.networks[1]->address, "10.2.0.9");
    EXPECT_EQ(adapter.networks[1]->mask, "255.255.255.128");
    EXPECT_TRUE(list.At(2).networks.empty());
}

TEST(NetworkAdapterListTest, FailedQueryLeavesTheListEmpty) {
    FakeRouteTable table;
    table.AddAdapter(7, "LAN2", {{Ip("10.1.0.9"), Ip("255.255.0.0")}});
    table.adaptersFail = true;
    const NetworkAdapterList list(table);
    EXPECT_TRUE(list.Empty());
    EXPECT_EQ(table.adapterQueries, 1);
}

TEST(NetworkAdapterListTest, ListLineIsNameAndIndexOfAtLeastTwoDigits) {
    BNetworkAdapter adapter;
    adapter.friendlyName = "LAN2";
    adapter.interfaceIndex = 7;
    EXPECT_EQ(adapter.ListLine(), "LAN2 [07]");
    adapter.interfaceIndex = 0;
    EXPECT_EQ(adapter.ListLine(), "LAN2 [00]");
    adapter.interfaceIndex = 42;
    EXPECT_EQ(adapter.ListLine(), "LAN2 [42]");
    adapter.interfaceIndex = 4096;
    adapter.friendlyName = "enp0s31f6";
    EXPECT_EQ(adapter.ListLine(), "enp0s31f6 [4096]");
}

TEST(NetworkAdapterListTest, HasAddressComparesWholeTexts) {
    BNetworkAdapter adapter;
    adapter.networks.push_back(std::make_unique<BNetwork>("10.1.0.9", "255.255.0.0"));
    EXPECT_TRUE(adapter.HasAddress("10.1.0.9"));
    EXPECT_FALSE(adapter.HasAddress("10.1.0.90"));
    EXPECT_FALSE(adapter.HasAddress("10.1.0.9 "));
    EXPECT_FALSE(adapter.HasAddress("255.255.0.0"));
}

}  // namespace
}  // namespace velk
