// The scan engine over the real TCP channels against real slaves on loopback: the
// controller simulator velkopc-plcsim and a libmodbus slave.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <memory>
#include <thread>

#include "modbus/channel_settings.h"
#include "modbus/device_channel_exchange.h"
#include "modbus/device_channels.h"
#include "modbus/scan_engine.h"
#include "model/locks.h"
#include "platform/linux/posix_tcp_sockets.h"
#include "tests/modbus/scan_libmodbus_slave.h"
#include "tests/modbus/scan_test_tags.h"
#include "tests/model/recording_poster.h"
#include "tests/support/fake_clock.h"
#include "tests/support/memory_settings_store.h"
#include "tests/support/plcsim_process.h"
#include "tests/support/recording_exchange_observer.h"

namespace velk {
namespace {

using namespace velk::testing;
using Bytes = std::vector<std::uint8_t>;

// One Modbus TCP device with its tags and channels, talking to 127.0.0.1 at a given port.
struct TcpDevice {
    TcpDevice(IClock& clock, IExchangeObserver& observer, ITcpSockets& sockets,
              const std::string& address, int port, SharedTcpConnections* shared = nullptr)
        : channels(tags.device, ChannelServices{clock, observer, nullptr, &sockets, nullptr,
                                                &settings, nullptr, shared}) {
        tags.device.params.modbusTcp = 1;
        tags.device.params.primaryIpAddress = address;
        tags.device.params.secondaryIpAddress = address;
        settings.CreateKey(kTcpPortsKey);
        settings.WriteValue(kTcpPortsKey, address,
                            RegValue::Dword(static_cast<std::uint32_t>(port)));
        channels.SetRunning(true);
    }

    MemorySettingsStore settings;
    TestTags tags;
    DeviceChannels channels;
};

class ScanPeer : public ::testing::Test {
  protected:
    std::unique_ptr<TcpDevice> Device(int port, ITcpSockets* sockets = nullptr,
                                      const std::string& address = "127.0.0.1",
                                      SharedTcpConnections* shared = nullptr) {
        auto device = std::make_unique<TcpDevice>(clock, observer, sockets ? *sockets : sockets_,
                                                  address, port, shared);
        owners_[&device->tags.device] = &device->channels;
        return device;
    }

    FakeClock clock;
    RecordingExchangeObserver observer;
    RecordingPoster poster;
    std::map<ODevice*, DeviceChannels*> owners_;
    DeviceChannelExchange exchange{
        [this](ODevice& d) { return owners_.count(&d) ? owners_[&d] : nullptr; }, &observer};
    ScanEngine engine{exchange, poster, clock};
    PosixTcpSockets sockets_{2000, 2000};
};

TEST_F(ScanPeer, ADeviceWithoutChannelsFailsItsReadsAndWrites) {
    TestTags lone;
    OModbusTag& tag = lone.Add(kHoldingRegister, 0);
    tag.value = Variant::Int16(4);
    engine.ReadTags(lone.device, lone.list);
    EXPECT_EQ(tag.quality, kQualityCommFailure);
    EXPECT_EQ(tag.value, Variant::Int16(4));
    EXPECT_EQ(engine.WriteTag(lone.device, tag, Variant::Int16(5)), E_FAIL);
    EXPECT_EQ(tag.quality, kQualityBad);
}

// ---- the controller simulator -------------------------------------------------------

class ScanPlcsim : public ScanPeer {
  protected:
    void StartSimulator(test::PlcsimProcess& simulator, std::vector<std::string> arguments) {
        std::string error;
        ASSERT_TRUE(simulator.Start(arguments, error)) << error;
    }
    std::string LastRequest(test::PlcsimProcess& simulator) {
        return simulator.ReportText("last.request");
    }
};

TEST_F(ScanPlcsim, ValuesAndTheRequestsOnTheWire) {
    test::PlcsimProcess plc;
    StartSimulator(plc, {"--tcp",     "127.0.0.1:0", "--holding", "0=1234",     "--holding",
                         "10=0xFFFE", "--holding",   "20=0x1234", "--holding",  "21=0x5678",
                         "--holding", "30=0x4142",   "--holding", "31=0x4300",  "--coil",
                         "5=1",       "--input",     "3=77",      "--discrete", "200=1"});
    auto device = Device(plc.TcpPort(1));
    TestTags& tags = device->tags;
    OModbusTag& first = tags.Add(kHoldingRegister, 0);
    OModbusTag& negative = tags.Add(kHoldingRegister, 10);
    OModbusTag& asLong = tags.Add(kHoldingRegister, 20, VT_I4, 2);
    OModbusTag& text = tags.Add(kHoldingRegister, 30, VT_BSTR, 4);
    OModbusTag& coil = tags.Bit(kOutputCoil, 5);
    OModbusTag& input = tags.Add(kInputRegister, 3, VT_UI2);
    OModbusTag& discrete = tags.Bit(kInputStatus, 200);
    plc.Command("reset-counts");
    engine.ReadTags(tags.device, tags.list);

    EXPECT_EQ(first.value, Variant::Int16(1234));
    EXPECT_EQ(negative.value, Variant::Int16(-2));
    EXPECT_EQ(asLong.value, Variant::Int32(0x56781234));
    EXPECT_EQ(text.value, Variant::Text("ABC"));
    EXPECT_EQ(coil.value, Variant::Bool(true));
    EXPECT_EQ(input.value, Variant::UInt16(77));
    EXPECT_EQ(discrete.value, Variant::Bool(true));
    for (OModbusTag* tag : tags.list) EXPECT_EQ(tag->quality, kQualityGood);
    // Holding 0 to 31 in one block (gaps of 10), then one request per other kind.
    EXPECT_EQ(plc.ReportValue("requests"), 4);
    EXPECT_EQ(plc.ReportValue("requests.fc2"), 1);
    EXPECT_EQ(plc.ReportValue("requests.fc1"), 1);
    EXPECT_EQ(plc.ReportValue("requests.fc4"), 1);
    EXPECT_EQ(plc.ReportValue("requests.fc3"), 1);
    EXPECT_EQ(LastRequest(plc), "ch1 unit 1 pdu 03 00 00 00 20");
}

TEST_F(ScanPlcsim, WritesOnTheWireForEachForm) {
    test::PlcsimProcess plc;
    StartSimulator(plc, {"--tcp", "127.0.0.1:0"});
    auto device = Device(plc.TcpPort(1));
    TestTags& tags = device->tags;
    OModbusTag& coil = tags.Bit(kOutputCoil, 7);
    OModbusTag& single = tags.Add(kHoldingRegister, 1);
    OModbusTag& real = tags.Add(kHoldingRegister, 2, VT_R4, 2);
    OModbusTag& asLong = tags.Add(kHoldingRegister, 4, VT_I4, 2);
    OModbusTag& text = tags.Add(kHoldingRegister, 6, VT_BSTR, 10);
    OModbusTag& wide = tags.Add(kHoldingRegister, 12, VT_R8, 4);

    EXPECT_EQ(engine.WriteTag(tags.device, coil, Variant::Bool(true)), S_OK);
    EXPECT_EQ(LastRequest(plc), "ch1 unit 1 pdu 05 00 07 FF 00");
    EXPECT_EQ(engine.WriteTag(tags.device, single, Variant::Int16(-2)), S_OK);
    EXPECT_EQ(LastRequest(plc), "ch1 unit 1 pdu 06 00 01 FF FE");
    EXPECT_EQ(engine.WriteTag(tags.device, real, Variant::Double(1.5)), S_OK);
    EXPECT_EQ(LastRequest(plc), "ch1 unit 1 pdu 10 00 02 00 02 04 00 00 3F C0");
    tags.device.params.wordSwap = 1;
    EXPECT_EQ(engine.WriteTag(tags.device, asLong, Variant::Int32(0x12345678)), S_OK);
    EXPECT_EQ(LastRequest(plc), "ch1 unit 1 pdu 10 00 04 00 02 04 12 34 56 78");
    EXPECT_EQ(engine.WriteTag(tags.device, text, Variant::Text("ABC")), S_OK);
    EXPECT_EQ(LastRequest(plc), "ch1 unit 1 pdu 10 00 06 00 02 04 41 42 43 00");
    EXPECT_EQ(engine.WriteTag(tags.device, wide, Variant::Double(0.1)), S_OK);

    EXPECT_EQ(plc.Command("get coil 7"), "1\n");
    EXPECT_EQ(plc.Command("get holding 1 7"), "65534 0 16320 4660 22136 16706 17152\n");
    const auto bits = std::bit_cast<std::uint64_t>(0.1);
    std::string expected;
    for (int k = 3; k >= 0; --k)
        expected += std::to_string((bits >> (16 * k)) & 0xFFFF) + (k ? " " : "\n");
    EXPECT_EQ(plc.Command("get holding 12 4"), expected);

    // And read back through the block reader.
    for (OModbusTag* tag : tags.list) tag->value = Variant();
    engine.ReadTags(tags.device, tags.list);
    // Written without word swap, read with it: the halves change places.
    EXPECT_EQ(real.value, Variant::Float(std::bit_cast<float>(0x00003FC0u)));
    EXPECT_EQ(asLong.value, Variant::Int32(0x12345678));
    EXPECT_EQ(text.value, Variant::Text("ABC"));
    EXPECT_EQ(wide.value, Variant::Double(0.1));
}

TEST_F(ScanPlcsim, AnExceptionAnswerGivesBadQualityAndKeepsTheValues) {
    test::PlcsimProcess plc;
    StartSimulator(plc, {"--tcp", "127.0.0.1:0", "--holding", "0=5", "--coil", "0=1"});
    auto device = Device(plc.TcpPort(1));
    TestTags& tags = device->tags;
    OModbusTag& coil = tags.Bit(kOutputCoil, 0);
    OModbusTag& reg = tags.Add(kHoldingRegister, 0);
    engine.ReadTags(tags.device, tags.list);
    ASSERT_EQ(reg.value, Variant::Int16(5));
    const FileTime stamped = reg.timestamp;

    plc.Command("set holding 0 6");
    plc.Command("exception 4 1");  // the next answer (the coils) is an exception
    clock.Advance(1000);
    engine.ReadTags(tags.device, tags.list);
    EXPECT_EQ(coil.quality, kQualityCommFailure);
    EXPECT_EQ(coil.value, Variant::Bool(true));
    EXPECT_EQ(reg.quality, kQualityGood);
    EXPECT_EQ(reg.value, Variant::Int16(6));
    EXPECT_NE(reg.timestamp, stamped);

    plc.Command("exception 2 all");
    engine.ReadTags(tags.device, tags.list);
    EXPECT_EQ(reg.quality, kQualityCommFailure);
    EXPECT_EQ(reg.value, Variant::Int16(6));
    EXPECT_EQ(coil.value, Variant::Bool(true));
}

TEST_F(ScanPlcsim, AReadProtectedTagBetweenTwoReadableOnes) {
    test::PlcsimProcess plc;
    StartSimulator(
        plc, {"--tcp", "127.0.0.1:0", "--holding", "0=1", "--holding", "4=4", "--holding", "8=8"});
    auto device = Device(plc.TcpPort(1));
    TestTags& tags = device->tags;
    OModbusTag& a = tags.Add(kHoldingRegister, 0);
    OModbusTag& hidden = tags.Add(kHoldingRegister, 4, VT_I2, 1, kAccessWritable);
    OModbusTag& b = tags.Add(kHoldingRegister, 8);
    hidden.value = Variant::Int16(-9);
    plc.Command("reset-counts");
    engine.ReadTags(tags.device, tags.list);
    EXPECT_EQ(a.value, Variant::Int16(1));
    EXPECT_EQ(b.value, Variant::Int16(8));
    EXPECT_EQ(hidden.value, Variant::Int16(-9));
    EXPECT_EQ(hidden.quality, kQualityUncertain);
    EXPECT_EQ(plc.ReportValue("requests"), 1);
    EXPECT_EQ(LastRequest(plc), "ch1 unit 1 pdu 03 00 00 00 09");
}

TEST_F(ScanPlcsim, ADeviceInSimulationSendsNothingAndSimulatesEveryType) {
    test::PlcsimProcess plc;
    StartSimulator(plc, {"--tcp", "127.0.0.1:0"});
    auto device = Device(plc.TcpPort(1));
    TestTags& tags = device->tags;
    tags.device.simulationEnabled = 1;
    clock.SetTick(6000);
    std::vector<OModbusTag*> all;
    for (std::uint16_t type : {VT_I2, VT_I4, VT_UI2, VT_R4, VT_R8, VT_BSTR})
        all.push_back(
            &tags.Add(kHoldingRegister, static_cast<std::uint16_t>(all.size() * 4), type, 2));
    all.push_back(&tags.Bit(kOutputCoil, 0));
    for (OModbusTag* tag : all) tag->rampCounter = 5;
    plc.Command("reset-counts");
    engine.ReadTags(tags.device, tags.list);
    EXPECT_EQ(engine.WriteTag(tags.device, *all[0], Variant::Int16(3)), S_OK);
    EXPECT_EQ(plc.ReportValue("requests"), 0);
    EXPECT_EQ(all[1]->value, Variant::Int32(5));
    EXPECT_EQ(all[2]->value, Variant::UInt16(5));
    EXPECT_EQ(all[3]->value, Variant::Float(5.0f));
    EXPECT_EQ(all[4]->value, Variant::Double(5.0));
    EXPECT_EQ(all[5]->value, Variant::Text("This is a Test String."));
    EXPECT_EQ(all[6]->value, Variant::Bool(true));
    EXPECT_EQ(all[0]->value, Variant::Int16(3));  // the write is kept
}

TEST_F(ScanPlcsim, ADeadControllerDoesNotHoldUpReadsOfAnotherDevice) {
    test::PlcsimProcess dead;
    test::PlcsimProcess healthy;
    StartSimulator(dead, {"--tcp", "127.0.0.2:0"});
    StartSimulator(healthy, {"--tcp", "127.0.0.3:0", "--holding", "0=100"});
    // The dead controller's answer wait outlasts the healthy reads: it ends when the
    // simulator drops the connection (or, should the reads be held up, after 30 s).
    PosixTcpSockets patient(2000, 30000);
    auto deadDevice = Device(dead.TcpPort(1), &patient, "127.0.0.2");
    auto healthyDevice = Device(healthy.TcpPort(1), nullptr, "127.0.0.3");
    OModbusTag& deadTag = deadDevice->tags.Add(kHoldingRegister, 0);
    OModbusTag& healthyTag = healthyDevice->tags.Add(kHoldingRegister, 0);
    dead.Command("silent on");

    std::atomic<bool> deadReturned{false};
    std::thread deadReader([&] {
        engine.ReadTags(deadDevice->tags.device, deadDevice->tags.list);
        deadReturned = true;
    });
    for (int n = 0; n < 200 && dead.ReportValue("requests") < 1; ++n)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_GE(dead.ReportValue("requests"), 1);

    std::vector<Variant> seen;
    for (int v : {101, 102, 103}) {
        healthy.Command("set holding 0 " + std::to_string(v));
        engine.ReadTags(healthyDevice->tags.device, healthyDevice->tags.list);
        std::lock_guard<std::recursive_mutex> lock(healthyDevice->tags.device.Locks().tagData);
        seen.push_back(healthyTag.value);
    }
    const bool deadStillWaiting = !deadReturned;
    dead.Command("close");
    deadReader.join();

    EXPECT_TRUE(deadStillWaiting);
    EXPECT_EQ(seen, (std::vector<Variant>{Variant::Int16(101), Variant::Int16(102),
                                          Variant::Int16(103)}));
    EXPECT_EQ(healthyTag.quality, kQualityGood);
    EXPECT_EQ(deadTag.quality, kQualityCommFailure);
}

TEST_F(ScanPlcsim, ReadersOfOnePeriodPutOneRequestOnTheWireAndEachHearsItsFailure) {
    test::PlcsimProcess plc;
    StartSimulator(plc, {"--tcp", "127.0.0.1:0", "--holding", "0=11", "--holding", "4=44"});
    auto device = Device(plc.TcpPort(1));
    TestTags& tags = device->tags;
    OModbusTag& first = tags.Add(kHoldingRegister, 0);
    OModbusTag& second = tags.Add(kHoldingRegister, 4);
    const std::uint32_t period = clock.TickCount();
    auto readInPeriod = [&] { engine.ReadTags(tags.device, tags.list, period); };
    plc.Command("reset-counts");
    std::vector<std::thread> readers;
    for (int n = 0; n < 4; ++n) readers.emplace_back(readInPeriod);
    for (std::thread& reader : readers) reader.join();
    EXPECT_EQ(plc.ReportValue("requests"), 1);
    EXPECT_EQ(first.value, Variant::Int16(11));
    EXPECT_EQ(second.value, Variant::Int16(44));

    // The next period's request gets no answer: both of its readers fail, and the supervision
    // hears the failure once from each.
    clock.SetTick(period + 250);
    clock.Advance(250);
    plc.Command("silent on");
    observer.Clear();
    auto readNext = [&] { engine.ReadTags(tags.device, tags.list, period + 250); };
    std::thread sender(readNext);
    for (int n = 0; n < 200 && plc.ReportValue("requests") < 2; ++n)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::thread joiner(readNext);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    plc.Command("close");
    sender.join();
    joiner.join();
    EXPECT_EQ(plc.ReportValue("requests"), 2);
    EXPECT_EQ(first.quality, kQualityCommFailure);
    EXPECT_EQ(second.quality, kQualityCommFailure);
    const auto reports = observer.Reports();
    EXPECT_EQ(std::count_if(reports.begin(), reports.end(),
                            [](const auto& r) { return r.failed && r.channel == kActiveChannel; }),
              2);
}

// ---- a libmodbus slave --------------------------------------------------------------

class ScanLibmodbus : public ScanPeer {
  protected:
    void SetUp() override { ASSERT_TRUE(slave.Start()); }
    LibmodbusSlave slave{200};
};

TEST_F(ScanLibmodbus, BlockReadsAndValues) {
    auto* map = slave.Mapping();
    map->tab_registers[0] = 0x0000;
    map->tab_registers[1] = 0x3F80;
    map->tab_registers[30] = 0x8000;
    map->tab_input_registers[150] = 0x4142;
    map->tab_input_registers[151] = 0x4344;
    map->tab_input_registers[152] = 0x4500;
    map->tab_bits[99] = 1;
    auto device = Device(slave.Port());
    TestTags& tags = device->tags;
    OModbusTag& real = tags.Add(kHoldingRegister, 0, VT_R4, 2);
    OModbusTag& far = tags.Add(kHoldingRegister, 30, VT_UI2);
    OModbusTag& text = tags.Add(kInputRegister, 150, VT_BSTR, 5);
    tags.Bit(kOutputCoil, 0);
    OModbusTag& coil = tags.Bit(kOutputCoil, 99);
    engine.ReadTags(tags.device, tags.list);
    EXPECT_EQ(real.value, Variant::Float(1.0f));
    EXPECT_EQ(far.value, Variant::UInt16(0x8000));
    EXPECT_EQ(text.value, Variant::Text("ABCDE"));
    EXPECT_EQ(coil.value, Variant::Bool(true));
    EXPECT_EQ(slave.Requests(),
              (std::vector<Bytes>{
                  {1, 0, 0, 0, 100}, {4, 0, 150, 0, 3}, {3, 0, 0, 0, 2}, {3, 0, 30, 0, 1}}));
}

TEST_F(ScanLibmodbus, WritesOfEveryForm) {
    auto device = Device(slave.Port());
    TestTags& tags = device->tags;
    OModbusTag& coil = tags.Bit(kOutputCoil, 3);
    OModbusTag& reg = tags.Add(kHoldingRegister, 10, VT_UI2);
    OModbusTag& asULong = tags.Add(kHoldingRegister, 20, VT_UI4, 2);
    OModbusTag& text = tags.Add(kHoldingRegister, 30, VT_BSTR, 3);
    EXPECT_EQ(engine.WriteTag(tags.device, coil, Variant::Bool(true)), S_OK);
    EXPECT_EQ(engine.WriteTag(tags.device, reg, Variant::Int32(65535)), S_OK);
    EXPECT_EQ(engine.WriteTag(tags.device, asULong, Variant::UInt32(0xCAFEBABE)), S_OK);
    EXPECT_EQ(engine.WriteTag(tags.device, text, Variant::Text("xyz")), S_OK);
    EXPECT_EQ(slave.Requests(), (std::vector<Bytes>{{5, 0, 3, 0xFF, 0},
                                                    {6, 0, 10, 0xFF, 0xFF},
                                                    {16, 0, 20, 0, 2, 4, 0xBA, 0xBE, 0xCA, 0xFE},
                                                    {16, 0, 30, 0, 2, 4, 'x', 'y', 'z', 0}}));
    auto* map = slave.Mapping();
    EXPECT_EQ(map->tab_bits[3], 1);
    EXPECT_EQ(map->tab_registers[10], 0xFFFF);
    EXPECT_EQ(map->tab_registers[20], 0xBABE);
    EXPECT_EQ(map->tab_registers[21], 0xCAFE);
    EXPECT_EQ(map->tab_registers[31], 0x7A00);
}

TEST_F(ScanLibmodbus, AnAddressOutsideTheSlaveFailsItsBlockOnlyAndAFailedWriteIsBad) {
    slave.Mapping()->tab_registers[5] = 55;
    auto device = Device(slave.Port());
    TestTags& tags = device->tags;
    OModbusTag& inside = tags.Add(kHoldingRegister, 5);
    OModbusTag& outside = tags.Add(kHoldingRegister, 500);
    outside.value = Variant::Int16(1);
    engine.ReadTags(tags.device, tags.list);
    EXPECT_EQ(inside.value, Variant::Int16(55));
    EXPECT_EQ(inside.quality, kQualityGood);
    EXPECT_EQ(outside.value, Variant::Int16(1));
    EXPECT_EQ(outside.quality, kQualityCommFailure);

    EXPECT_EQ(engine.WriteTag(tags.device, outside, Variant::Int16(2)), E_FAIL);
    EXPECT_EQ(outside.quality, kQualityBad);
    EXPECT_EQ(outside.value, Variant::Int16(2));
}

TEST_F(ScanLibmodbus, ASlaveThatRefusesSingleWritesTakesTheForcedFunctionCodes) {
    auto device = Device(slave.Port());
    TestTags& tags = device->tags;
    OModbusTag& reg = tags.Add(kHoldingRegister, 10, VT_UI2);
    OModbusTag& coil = tags.Bit(kOutputCoil, 4);
    slave.refusedFunction = 6;
    EXPECT_EQ(engine.WriteTag(tags.device, reg, Variant::UInt16(4321)), E_FAIL);
    tags.device.params.forceMultipleRegisterWrite = 1;
    EXPECT_EQ(engine.WriteTag(tags.device, reg, Variant::UInt16(4321)), S_OK);
    EXPECT_EQ(slave.Mapping()->tab_registers[10], 4321);
    slave.refusedFunction = 5;
    tags.device.params.forceMultipleCoilWrite = 1;
    EXPECT_EQ(engine.WriteTag(tags.device, coil, Variant::Bool(true)), S_OK);
    EXPECT_EQ(slave.Mapping()->tab_bits[4], 1);
    const auto requests = slave.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[1], (Bytes{16, 0, 10, 0, 1, 2, 0x10, 0xE1}));
    EXPECT_EQ(requests[2], (Bytes{15, 0, 4, 0, 1, 1, 1}));
}

TEST_F(ScanLibmodbus, ASlaveThatRefusesLongReadsIsReadWithinItsLimit) {
    slave.refusedReadsAbove = 60;
    auto* map = slave.Mapping();
    for (int n = 0; n < 150; ++n) map->tab_registers[n] = static_cast<std::uint16_t>(1000 + n);
    auto device = Device(slave.Port());
    TestTags& tags = device->tags;
    std::vector<OModbusTag*> read;
    for (std::uint16_t a = 0; a < 150; a += 10) read.push_back(&tags.Add(kHoldingRegister, a));
    OModbusTag& text = tags.Add(kHoldingRegister, 0, VT_BSTR, 140);
    engine.ReadTags(tags.device, tags.list);
    EXPECT_EQ(read.front()->quality, kQualityCommFailure);  // 123 registers: refused

    tags.device.params.maxReadRegisters = 60;
    const std::size_t before = slave.Requests().size();
    engine.ReadTags(tags.device, tags.list);
    for (OModbusTag* tag : read) {
        EXPECT_EQ(tag->quality, kQualityGood);
        EXPECT_EQ(tag->value, Variant::Int16(static_cast<std::int16_t>(1000 + tag->address)));
    }
    EXPECT_EQ(text.quality, kQualityGood);
    const auto requests = slave.Requests();
    ASSERT_GT(requests.size(), before);
    for (std::size_t n = before; n < requests.size(); ++n)
        EXPECT_LE(requests[n][3] << 8 | requests[n][4], 60) << "request " << n;
}

TEST_F(ScanLibmodbus, TheConnectDelayIsWaitedOnceAfterTheConnectionOpens) {
    auto device = Device(slave.Port());
    TestTags& tags = device->tags;
    tags.device.params.connectDelay = 300;
    OModbusTag& tag = tags.Add(kHoldingRegister, 1);
    const std::uint64_t before = clock.SleptMs();
    engine.ReadTags(tags.device, tags.list);
    EXPECT_EQ(tag.quality, kQualityGood);
    const std::uint64_t first = clock.SleptMs() - before;
    EXPECT_GE(first, 300u);
    engine.ReadTags(tags.device, tags.list);
    EXPECT_LT(clock.SleptMs() - before - first, 300u);
    EXPECT_EQ(slave.connections, 1);
}

TEST_F(ScanLibmodbus, DevicesShareOneConnectionToAGatewayThatServesOne) {
    SharedTcpConnections shared;
    slave.Mapping()->tab_registers[1] = 11;
    slave.Mapping()->tab_registers[2] = 22;
    auto first = Device(slave.Port(), nullptr, "127.0.0.1", &shared);
    auto second = Device(slave.Port(), nullptr, "127.0.0.1", &shared);
    first->tags.device.params.slaveAddress = 5;
    second->tags.device.params.slaveAddress = 6;
    for (TcpDevice* device : {first.get(), second.get()})
        device->tags.device.params.sharedConnection = 1;
    OModbusTag& a = first->tags.Add(kHoldingRegister, 1);
    OModbusTag& b = second->tags.Add(kHoldingRegister, 2);
    for (int round = 0; round < 2; ++round) {
        engine.ReadTags(first->tags.device, first->tags.list);
        engine.ReadTags(second->tags.device, second->tags.list);
    }
    EXPECT_EQ(a.value, Variant::Int16(11));
    EXPECT_EQ(a.quality, kQualityGood);
    EXPECT_EQ(b.value, Variant::Int16(22));
    EXPECT_EQ(b.quality, kQualityGood);
    EXPECT_EQ(slave.connections, 1);
    EXPECT_EQ(slave.Units(), (std::vector<int>{5, 6, 5, 6}));
}

}  // namespace
}  // namespace velk
