// The serial channel on a real line: termios on one end of a socat pseudo-terminal pair,
// a libmodbus RTU slave, the controller simulator (fault cases) or a pymodbus ASCII slave
// on the other end.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <modbus.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "modbus/channel_settings.h"
#include "modbus/device_channels.h"
#include "modbus/modbus_requests.h"
#include "modbus/serial_channel_set.h"
#include "model/o_device.h"
#include "model/o_port.h"
#include "platform/linux/system_clock.h"
#include "platform/linux/termios_serial_port.h"
#include "tests/support/child_process.h"
#include "tests/support/memory_settings_store.h"
#include "tests/support/plcsim_process.h"
#include "tests/support/recording_exchange_observer.h"

namespace velk {
namespace {

using testing::RecordingExchangeObserver;

// A device on COM1, which the machine settings point at our end of a pty pair.
class SerialPeerFixture : public ::testing::Test {
  protected:
    SerialPeerFixture()
        : port_(1),
          set_(lines_, &settings_, clock_, nullptr, [] { return true; }),
          channels_(device_, ChannelServices{clock_, observer_, &set_}) {
        device_.params.primaryPort = &port_;
        device_.params.secondaryPort = &port_;
        device_.params.timeout = 150;
        // Pseudo terminals of some kernels refuse parity settings; the line has no parity.
        port_.baudRate = 19200;
        port_.parity = 0;
        port_.dataBits = 8;
    }

    // Makes the pair; false (test skipped) without socat.
    bool MakeLine() {
        if (!test::HaveProgram("socat")) return false;
        peerSide_ = simulator_.Directory() + "/plc";
        ourSide_ = simulator_.Directory() + "/master";
        EXPECT_TRUE(pty_.Start(peerSide_, ourSide_));
        EXPECT_TRUE(settings_.CreateKey(kSerialPortsKey));
        EXPECT_TRUE(settings_.WriteValue(kSerialPortsKey, "COM1", RegValue::String(ourSide_)));
        return true;
    }

    std::unique_ptr<OMessage> Read(std::uint16_t start, std::uint16_t count) {
        return BuildReadRequest(ChooseFraming(false, port_.dataBits), 1, ReadArea::kHoldingRegister,
                                start, count);
    }

    ChannelCounts PortCounts() { return set_.ChannelOf(&port_)->Counts(); }

    void TearDown() override {
        simulator_.Stop();
        pty_.Stop();
    }

    SystemClock clock_;
    TermiosSerialPortFactory lines_;
    testing::MemorySettingsStore settings_;
    RecordingExchangeObserver observer_;
    OPort port_;
    ODevice device_;
    SerialChannelSet set_;
    DeviceChannels channels_;
    test::PlcsimProcess simulator_;  // also gives the test its own directory
    test::PtyPair pty_;
    std::string peerSide_;
    std::string ourSide_;
};

// ---- the termios line itself ----

TEST_F(SerialPeerFixture, TermiosLineCarriesBinaryBytesWithinItsReadTimeOut) {
    if (!MakeLine()) GTEST_SKIP() << "socat is not installed: serial peer tests skipped";
    TermiosSerialPort line;
    int error = 0;
    EXPECT_FALSE(line.Configure(SerialLineSettings{}));  // not open yet
    ASSERT_TRUE(line.Open(ourSide_, error)) << error;
    TermiosSerialPort second;  // the line is ours alone
    EXPECT_FALSE(second.Open(ourSide_, error));
    EXPECT_EQ(error, EBUSY);
    ASSERT_TRUE(line.Configure(SerialLineSettings{19200, 8, 0, 0, 0, {}}));
    ASSERT_TRUE(line.SetTimeouts(50, 1, 50));
    const int peer = ::open(peerSide_.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(peer, 0);

    std::uint8_t in[8] = {};
    EXPECT_EQ(line.Read(std::span(in, 4), error), 0);  // nothing within the time-out

    const std::uint8_t out[] = {0x11, 0x13, 0x0D, 0x0A, 0x00};  // XON, XOFF, CR, LF: data
    ASSERT_EQ(::write(peer, out, sizeof out), static_cast<ssize_t>(sizeof out));
    EXPECT_EQ(line.Read(std::span(in, 5), error), 5);
    EXPECT_EQ(std::vector<std::uint8_t>(in, in + 5), std::vector<std::uint8_t>(out, out + 5));

    const std::uint8_t request[] = {1, 3, 0, 0, 0, 1};
    EXPECT_EQ(line.Write(request, error), 6);
    std::uint8_t got[6] = {};
    std::size_t have = 0;
    for (int i = 0; i < 50 && have < 6; ++i) {
        ssize_t n = ::read(peer, got + have, 6 - have);
        if (n > 0) have += static_cast<std::size_t>(n);
    }
    EXPECT_EQ(have, 6u);

    // Fewer bytes than asked for: the read returns what came once the time-out passed.
    ASSERT_EQ(::write(peer, out, 3), 3);
    EXPECT_EQ(line.Read(std::span(in, 8), error), 3);

    ::close(peer);
    line.Close();
    EXPECT_FALSE(line.IsOpen());
    EXPECT_FALSE(line.Open(simulator_.Directory() + "/missing", error));
    EXPECT_EQ(error, ENOENT);
}

// ---- libmodbus RTU slave ----

class LibmodbusRtuSlave {
  public:
    bool Start(const std::string& device) {
        context_ = modbus_new_rtu(device.c_str(), 19200, 'N', 8, 1);
        if (context_ == nullptr) return false;
        modbus_set_slave(context_, 1);
        mapping_ = modbus_mapping_new(16, 0, 16, 0);
        mapping_->tab_registers[0] = 1111;
        mapping_->tab_registers[1] = 2222;
        if (modbus_connect(context_) != 0) return false;
        modbus_set_indication_timeout(context_, 0, 100000);
        thread_ = std::thread([this] {
            std::uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
            while (!stop_) {
                int n = modbus_receive(context_, query);
                if (n > 0) modbus_reply(context_, query, n, mapping_);
            }
        });
        return true;
    }
    ~LibmodbusRtuSlave() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (context_ != nullptr) {
            modbus_close(context_);
            modbus_free(context_);
        }
        if (mapping_ != nullptr) modbus_mapping_free(mapping_);
    }
    std::uint16_t Register(int n) const { return mapping_->tab_registers[n]; }

  private:
    modbus_t* context_ = nullptr;
    modbus_mapping_t* mapping_ = nullptr;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

TEST_F(SerialPeerFixture, LibmodbusRtuSlaveAnswersReadsAndWrites) {
    if (!MakeLine()) GTEST_SKIP() << "socat is not installed: serial peer tests skipped";
    LibmodbusRtuSlave slave;
    ASSERT_TRUE(slave.Start(peerSide_));

    auto read = Read(0, 2);
    channels_.TransactSerial(read.get(), device_.params.timeout, kActiveChannel);
    ASSERT_TRUE(read->IsValid());
    EXPECT_EQ(read->GetWord(0), 1111);
    EXPECT_EQ(read->GetWord(1), 2222);

    auto write = BuildWriteRegisterRequest(MessageFraming::kRtu, 1, 5, 0xBEEF);
    channels_.TransactSerial(write.get(), device_.params.timeout, kActiveChannel);
    EXPECT_TRUE(write->IsValid());
    EXPECT_EQ(slave.Register(5), 0xBEEF);

    const std::uint16_t values[] = {7, 8, 9};
    auto many = BuildWriteRegistersRequest(MessageFraming::kRtu, 1, 8, values);
    channels_.TransactSerial(many.get(), device_.params.timeout, kActiveChannel);
    EXPECT_TRUE(many->IsValid());
    EXPECT_EQ(slave.Register(10), 9);

    EXPECT_EQ(PortCounts(), (ChannelCounts{3, 3, 0, 0}));
    EXPECT_EQ(channels_.Counts(0), (ChannelCounts{3, 3, 0, 0}));
    EXPECT_EQ(set_.ChannelOf(&port_)->Configure(100), 1);  // termios took the settings
    EXPECT_TRUE(channels_.ActiveOk());
}

// ---- the controller simulator for the fault cases ----

class SerialPlcsimTest : public SerialPeerFixture {
  protected:
    void SetUp() override {
        if (!MakeLine()) GTEST_SKIP() << "socat is not installed: serial peer tests skipped";
        std::string error;
        ASSERT_TRUE(simulator_.Start({"--rtu", peerSide_, "--baud", "19200", "--parity", "none",
                                      "--unit", "1", "--holding", "0=1111", "--holding", "1=2222"},
                                     error))
            << error;
    }

    void ExpectRead(std::uint16_t first) {
        auto read = Read(0, 2);
        channels_.TransactSerial(read.get(), device_.params.timeout, kActiveChannel);
        ASSERT_TRUE(read->IsValid());
        EXPECT_EQ(read->GetWord(0), first);
    }

    // Waits until the simulator has answered that many requests.
    bool AnswersReach(long count) {
        for (int i = 0; i < 200; ++i) {
            if (simulator_.ReportValue("answers") >= count) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
};

TEST_F(SerialPlcsimTest, ShortAnswerIsRetriedAndTheRetryAnswerTaken) {
    ASSERT_EQ(simulator_.Command("wrong-length -1 1"), "");
    ExpectRead(1111);
    EXPECT_EQ(PortCounts(), (ChannelCounts{2, 1, 0, 1}));
    EXPECT_EQ(simulator_.ReportValue("requests.fc3"), 2);
}

TEST_F(SerialPlcsimTest, ExceptionAnswerIsTooShortAndTheRetryIsAnswered) {
    ASSERT_EQ(simulator_.Command("exception 2 1"), "");
    ExpectRead(1111);
    EXPECT_EQ(PortCounts(), (ChannelCounts{2, 1, 0, 1}));
}

TEST_F(SerialPlcsimTest, SilentControllerFailsRequestAndProbe) {
    ASSERT_EQ(simulator_.Command("silent on"), "");
    auto read = Read(0, 2);
    channels_.TransactSerial(read.get(), device_.params.timeout, kActiveChannel);
    EXPECT_FALSE(read->IsValid());
    EXPECT_EQ(PortCounts(), (ChannelCounts{4, 0, 4, 0}));
    EXPECT_EQ(simulator_.ReportValue("requests.fc3"), 2);
    EXPECT_EQ(simulator_.ReportValue("requests.fc8"), 2);
    EXPECT_FALSE(channels_.ActiveOk());
    EXPECT_EQ(observer_.Reports().back().failed, true);
}

TEST_F(SerialPlcsimTest, LateAnswersAreReadAwayBeforeTheNextRequest) {
    // Later than both attempts of the request and of the probe.
    ASSERT_EQ(simulator_.Command("delay 800"), "");
    auto read = Read(0, 2);
    channels_.TransactSerial(read.get(), device_.params.timeout, kActiveChannel);
    EXPECT_FALSE(read->IsValid());
    // Every late answer has been sent and waits on the line.
    ASSERT_TRUE(AnswersReach(4));
    ASSERT_EQ(simulator_.Command("delay 0"), "");
    ASSERT_EQ(simulator_.Command("set holding 0 3333"), "");
    ExpectRead(3333);
    EXPECT_EQ(simulator_.ReportValue("requests"), 5);
}

TEST_F(SerialPlcsimTest, BroadcastTimeSyncIsWrittenAndNotAnswered) {
    LocalTime now{2026, 12, 9, 14, 3, 7, 250, 3};
    auto sync = BuildTimeSyncRequest(MessageFraming::kRtu, now);
    channels_.TransactSerial(sync.get(), device_.params.timeout, kActiveChannel);
    EXPECT_TRUE(sync->IsValid());
    EXPECT_EQ(PortCounts(), (ChannelCounts{1, 0, 0, 0}));
    for (int i = 0; i < 100 && simulator_.ReportValue("timesync.count") < 1; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(simulator_.ReportValue("timesync.count"), 1);
    ExpectRead(1111);  // nothing left on the line by the broadcast
}

TEST_F(SerialPlcsimTest, DiagnosticProbeOfTheStandbyChannelIsEchoed) {
    auto probe = BuildDiagnosticRequest(MessageFraming::kRtu, 1);
    channels_.TransactSerial(probe.get(), device_.params.timeout, kStandbyChannel);
    EXPECT_TRUE(probe->IsValid());
    EXPECT_TRUE(channels_.StandbyOk());
    EXPECT_EQ(observer_.Reports().back().channel, kStandbyChannel);
}

// ---- pymodbus ASCII slave ----

TEST_F(SerialPeerFixture, PymodbusAsciiSlaveAnswersReadsAndTheProbe) {
    if (!MakeLine()) GTEST_SKIP() << "socat is not installed: serial peer tests skipped";
    if (::access("/usr/bin/python3", X_OK) != 0) GTEST_SKIP() << "/usr/bin/python3 is missing";
    port_.dataBits = 7;
    port_.baudRate = 9600;
    testing::ChildProcess slave;
    const std::string output = simulator_.Directory() + "/pymodbus.out";
    ASSERT_TRUE(
        slave.Start("/usr/bin/python3", {VELK_PYMODBUS_ASCII_SLAVE, peerSide_, "1"}, {}, output));
    std::string line;
    for (int i = 0; i < 250 && line.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::ifstream in(output);
        std::getline(in, line);
        if (!slave.Running()) break;
    }
    if (line == "pymodbus missing")
        GTEST_SKIP() << "pymodbus is not installed for /usr/bin/python3";
    ASSERT_EQ(line, "ready");
    // pymodbus opens its end once its loop runs; the first request may go unheard.
    device_.params.timeout = 500;
    auto first = Read(0, 3);
    for (int i = 0; i < 5; ++i) {
        first = Read(0, 3);
        channels_.TransactSerial(first.get(), device_.params.timeout, kActiveChannel);
        if (first->IsValid()) break;
    }
    ASSERT_TRUE(first->IsValid());
    EXPECT_EQ(first->GetWord(0), 1111);
    EXPECT_EQ(first->GetWord(2), 3333);

    auto probe = BuildDiagnosticRequest(MessageFraming::kAscii, 1);
    channels_.TransactSerial(probe.get(), device_.params.timeout, kStandbyChannel);
    EXPECT_TRUE(probe->IsValid());
    EXPECT_TRUE(channels_.StandbyOk());
}

}  // namespace
}  // namespace velk
