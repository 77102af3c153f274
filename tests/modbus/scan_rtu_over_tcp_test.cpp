// RTU over TCP: the scan engine on a TCP connection to a serial device server, made of socat
// between a TCP port and a pseudo-terminal on which velkopc-plcsim answers as an RTU slave.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "modbus/channel_settings.h"
#include "modbus/device_channel_exchange.h"
#include "modbus/device_channels.h"
#include "modbus/scan_engine.h"
#include "platform/linux/posix_tcp_sockets.h"
#include "platform/linux/system_clock.h"
#include "tests/modbus/scan_test_tags.h"
#include "tests/model/recording_poster.h"
#include "tests/support/child_process.h"
#include "tests/support/memory_settings_store.h"
#include "tests/support/plcsim_process.h"
#include "tests/support/recording_exchange_observer.h"

namespace velk {
namespace {

using namespace velk::testing;

// A loopback port nobody listens on now.
int FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

// The program's path on the PATH (the child is started without a search).
std::string OnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    for (std::size_t at = 0; at <= dirs.size();) {
        const std::size_t end = std::min(dirs.find(':', at), dirs.size());
        const std::string candidate = dirs.substr(at, end - at) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
        at = end + 1;
    }
    return name;
}

// Whether a socket listens on the loopback port, from the kernel's table: a test
// connection would take the one connection the device server accepts.
bool Listening(int port) {
    std::ifstream table("/proc/net/tcp");
    char local[16];
    std::snprintf(local, sizeof local, "0100007F:%04X", port);
    std::string line;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, address, remote, state;
        fields >> slot >> address >> remote >> state;
        if (address == local && state == "0A") return true;
    }
    return false;
}

class RtuOverTcp : public ::testing::Test {
  protected:
    RtuOverTcp()
        : channels_(tags_.device,
                    ChannelServices{clock_, observer_, nullptr, &sockets_, nullptr, &settings_}) {
        auto& p = tags_.device.params;
        p.modbusTcp = 1;
        p.rtuOverTcp = 1;
        p.primaryIpAddress = p.secondaryIpAddress = "127.0.0.1";
        p.timeout = 300;
        p.slaveAddress = 3;
        channels_.SetRunning(true);
    }

    void SetUp() override {
        if (!test::HaveProgram("socat")) GTEST_SKIP() << "socat is not installed";
        const std::string peer = plc_.Directory() + "/plc";
        const std::string ours = plc_.Directory() + "/server";
        ASSERT_TRUE(pty_.Start(peer, ours));
        std::string error;
        ASSERT_TRUE(plc_.Start(
            {"--rtu", peer, "--baud", "19200", "--parity", "none", "--unit", "3", "--holding",
             "0=0x4142", "--holding", "1=0x4344", "--holding", "200=0xFFF6", "--coil", "4=1"},
            error))
            << error;
        // The device server: one TCP port, each connection to the line; the child of a closed
        // connection ends at once (-t), so that it cannot read what belongs to the next.
        port_ = FreePort();
        ASSERT_TRUE(server_.Start(
            OnPath("socat"),
            {"-t", "0.05", "TCP-LISTEN:" + std::to_string(port_) + ",bind=127.0.0.1,reuseaddr,fork",
             "GOPEN:" + ours + ",raw,echo=0"},
            {}, plc_.Directory() + "/socat.log"));
        ASSERT_TRUE(WaitUntil([&] { return Listening(port_); }, std::chrono::seconds(5)));
        settings_.CreateKey(kTcpPortsKey);
        settings_.WriteValue(kTcpPortsKey, "127.0.0.1",
                             RegValue::Dword(static_cast<std::uint32_t>(port_)));
    }
    void TearDown() override {
        server_.Signal(SIGTERM);
        server_.Wait(std::chrono::seconds(2));
        plc_.Stop();
        pty_.Stop();
    }

    SystemClock clock_;
    PosixTcpSockets sockets_{2000, 2000};
    MemorySettingsStore settings_;
    RecordingExchangeObserver observer_;
    RecordingPoster poster_;
    TestTags tags_;
    DeviceChannels channels_;
    DeviceChannelExchange exchange_{[this](ODevice&) { return &channels_; }};
    ScanEngine engine_{exchange_, poster_, clock_};
    test::PlcsimProcess plc_;
    test::PtyPair pty_;
    ChildProcess server_;
    int port_ = 0;
};

TEST_F(RtuOverTcp, ReadsWritesAndASilentLineInRtuFramesOverTheConnection) {
    EXPECT_EQ(exchange_.Framing(tags_.device), MessageFraming::kRtu);
    OModbusTag& text = tags_.Add(kHoldingRegister, 0, VT_BSTR, 4);
    OModbusTag& number = tags_.Add(kHoldingRegister, 200);
    OModbusTag& coil = tags_.Bit(kOutputCoil, 4);
    engine_.ReadTags(tags_.device, tags_.list);
    EXPECT_EQ(text.value, Variant::Text("ABCD"));
    EXPECT_EQ(number.value, Variant::Int16(-10));
    EXPECT_EQ(coil.value, Variant::Bool(true));
    for (OModbusTag* tag : tags_.list) EXPECT_EQ(tag->quality, kQualityGood);
    EXPECT_EQ(plc_.ReportText("last.request"), "ch1 unit 3 pdu 03 00 C8 00 01");

    EXPECT_EQ(engine_.WriteTag(tags_.device, number, Variant::Int16(1234)), S_OK);
    engine_.ReadTags(tags_.device, tags_.list);
    EXPECT_EQ(number.value, Variant::Int16(1234));
    EXPECT_TRUE(channels_.ActiveOk());

    // A silent line: the request fails within the answer time-out, the values stay.
    plc_.Command("silent on");
    engine_.ReadTags(tags_.device, tags_.list);
    EXPECT_EQ(number.quality, kQualityCommFailure);
    EXPECT_EQ(number.value, Variant::Int16(1234));
    plc_.Command("silent off");
    engine_.ReadTags(tags_.device, tags_.list);
    EXPECT_EQ(number.quality, kQualityGood);
}

}  // namespace
}  // namespace velk
