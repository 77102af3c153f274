// The scan engine over a serial channel: velkopc-plcsim as an RTU and an ASCII slave on a
// socat pseudo-terminal pair, the port found through the machine settings.
#include <gtest/gtest.h>

#include <string>

#include "modbus/channel_settings.h"
#include "modbus/device_channel_exchange.h"
#include "modbus/device_channels.h"
#include "modbus/scan_engine.h"
#include "model/o_port.h"
#include "platform/linux/system_clock.h"
#include "platform/linux/termios_serial_port.h"
#include "tests/modbus/scan_test_tags.h"
#include "tests/model/recording_poster.h"
#include "tests/support/memory_settings_store.h"
#include "tests/support/plcsim_process.h"
#include "tests/support/recording_exchange_observer.h"

namespace velk {
namespace {

using namespace velk::testing;

// Framing by the port's data bits: 8 RTU, 7 ASCII.
class ScanSerialPeer : public ::testing::TestWithParam<int> {
  protected:
    ScanSerialPeer()
        : port_(1),
          set_(lines_, &settings_, clock_, nullptr, [] { return true; }),
          channels_(tags_.device, ChannelServices{clock_, observer_, &set_}) {
        port_.name = "COM1";
        port_.baudRate = 19200;
        port_.parity = 0;
        port_.dataBits = static_cast<std::uint16_t>(GetParam());
        tags_.device.params.primaryPort = &port_;
        tags_.device.params.secondaryPort = &port_;
        tags_.device.params.timeout = 300;
        tags_.device.params.slaveAddress = 3;
    }

    void SetUp() override {
        if (!test::HaveProgram("socat")) GTEST_SKIP() << "socat is not installed";
        const std::string peer = plc_.Directory() + "/plc";
        const std::string ours = plc_.Directory() + "/master";
        ASSERT_TRUE(pty_.Start(peer, ours));
        ASSERT_TRUE(settings_.CreateKey(kSerialPortsKey));
        ASSERT_TRUE(settings_.WriteValue(kSerialPortsKey, "COM1", RegValue::String(ours)));
        std::string error;
        ASSERT_TRUE(
            plc_.Start({GetParam() == 8 ? "--rtu" : "--ascii", peer, "--baud", "19200", "--parity",
                        "none", "--unit", "3", "--holding", "0=0x4142", "--holding", "1=0x4344",
                        "--holding", "2=0x4500", "--holding", "200=0xFFF6", "--coil", "4=1"},
                       error))
            << error;
    }
    void TearDown() override {
        plc_.Stop();
        pty_.Stop();
    }

    SystemClock clock_;
    TermiosSerialPortFactory lines_;
    MemorySettingsStore settings_;
    RecordingExchangeObserver observer_;
    RecordingPoster poster_;
    OPort port_;
    TestTags tags_;
    SerialChannelSet set_;
    DeviceChannels channels_;
    DeviceChannelExchange exchange_{[this](ODevice&) { return &channels_; }};
    ScanEngine engine_{exchange_, poster_, clock_};
    test::PlcsimProcess plc_;
    test::PtyPair pty_;
};

TEST_P(ScanSerialPeer, ReadsWritesAndALongTextInTheLineFraming) {
    OModbusTag& text = tags_.Add(kHoldingRegister, 0, VT_BSTR, 5);
    OModbusTag& number = tags_.Add(kHoldingRegister, 200);
    OModbusTag& coil = tags_.Bit(kOutputCoil, 4);
    OModbusTag& longText = tags_.Add(kHoldingRegister, 1000, VT_BSTR, 250);
    const std::string written(250, 'k');
    EXPECT_EQ(engine_.WriteTag(tags_.device, longText, Variant::Text(written)), S_OK);
    EXPECT_EQ(engine_.WriteTag(tags_.device, coil, Variant::Bool(false)), S_OK);
    EXPECT_EQ(plc_.ReportValue("requests.fc16"), 2);  // 123 + 2 registers

    longText.value = Variant();
    engine_.ReadTags(tags_.device, tags_.list);
    EXPECT_EQ(text.value, Variant::Text("ABCDE"));
    EXPECT_EQ(number.value, Variant::Int16(-10));
    EXPECT_EQ(coil.value, Variant::Bool(false));
    EXPECT_EQ(longText.value, Variant::Text(written));
    for (OModbusTag* tag : tags_.list) EXPECT_EQ(tag->quality, kQualityGood);
    EXPECT_EQ(plc_.ReportText("last.request"), "ch1 unit 3 pdu 03 04 63 00 02");
}

TEST_P(ScanSerialPeer, ASilentControllerGivesBadQualityAndKeepsTheValue) {
    OModbusTag& number = tags_.Add(kHoldingRegister, 200);
    engine_.ReadTags(tags_.device, tags_.list);
    ASSERT_EQ(number.value, Variant::Int16(-10));
    plc_.Command("silent on");
    engine_.ReadTags(tags_.device, tags_.list);
    EXPECT_EQ(number.quality, kQualityCommFailure);
    EXPECT_EQ(number.value, Variant::Int16(-10));
    plc_.Command("silent off");
    plc_.Command("set holding 200 7");
    engine_.ReadTags(tags_.device, tags_.list);
    EXPECT_EQ(number.value, Variant::Int16(7));
    EXPECT_EQ(number.quality, kQualityGood);
}

INSTANTIATE_TEST_SUITE_P(Framings, ScanSerialPeer, ::testing::Values(8, 7),
                         [](const auto& info) { return info.param == 8 ? "Rtu" : "Ascii"; });

}  // namespace
}  // namespace velk
