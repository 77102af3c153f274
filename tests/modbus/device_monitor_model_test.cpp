// The Device Monitor's data: channel names by device kind, the counters per channel and
// their totals, the active channel.
#include "modbus/device_monitor_model.h"

#include <gtest/gtest.h>

#include "model/o_device.h"

namespace velk {
namespace {

TEST(DeviceMonitorModelTest, TcpDeviceShowsAddressesCountsAndTotals) {
    ODevice device;
    device.name = "Dev1";
    device.params.modbusTcp = 1;
    device.params.primaryIpAddress = "10.0.0.1";
    device.params.secondaryIpAddress = "10.0.1.1";
    device.activeChannel = 1;
    const auto model = DeviceMonitorModel::FromCounts(
        device, {ChannelCounts{10, 8, 2, 1}, ChannelCounts{5, 5, 0, 3}});
    EXPECT_TRUE(model.secondaryActive);
    EXPECT_EQ(model.channelNames[0], "10.0.0.1");
    EXPECT_EQ(model.channelNames[1], "10.0.1.1");
    ASSERT_EQ(model.rows.size(), 5u);
    EXPECT_EQ(model.rows[0], (DeviceMonitorRow{"Sent messages:", 15, {10, 5}, false}));
    EXPECT_EQ(model.rows[1], (DeviceMonitorRow{"Received messages:", 13, {8, 5}, false}));
    EXPECT_EQ(model.rows[2], (DeviceMonitorRow{"Answer time-outs:", 2, {2, 0}, false}));
    EXPECT_EQ(model.rows[3], (DeviceMonitorRow{"Comm. errors:", 4, {1, 3}, false}));
    EXPECT_EQ(model.rows[4], (DeviceMonitorRow{"Negative ACKs:", 0, {0, 0}, true}));
}

TEST(DeviceMonitorModelTest, SerialDeviceShowsPortNames) {
    ODevice device;
    device.params.primaryPortName = "COM3";
    device.params.secondaryPortName = "COM4";
    const auto model = DeviceMonitorModel::Of(device, nullptr, nullptr);
    EXPECT_FALSE(model.secondaryActive);
    EXPECT_EQ(model.channelNames[0], "COM3");
    EXPECT_EQ(model.channelNames[1], "COM4");
    EXPECT_EQ(model.rows[0].total, 0u);
}

}  // namespace
}  // namespace velk
