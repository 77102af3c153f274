// The TCP channel against real peers on loopback: the controller simulator for the fault
// cases (time-out and probe, exception, short, long and split answers, hang-up, broadcast),
// a scripted peer for answers that come too late or in pieces, and the connection and route
// rules.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <modbus.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "modbus/channel_settings.h"
#include "modbus/comm_supervision.h"
#include "modbus/device_channels.h"
#include "modbus/ip_address_text.h"
#include "modbus/modbus_requests.h"
#include "modbus/tcp_route_connection.h"
#include "model/o_device.h"
#include "platform/linux/posix_tcp_sockets.h"
#include "tests/model/recording_poster.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_route_table.h"
#include "tests/support/memory_settings_store.h"
#include "tests/support/plcsim_process.h"
#include "tests/support/recording_exchange_observer.h"

namespace velk {
namespace {

using testing::RecordingExchangeObserver;
using Bytes = std::vector<std::uint8_t>;
using Report = RecordingExchangeObserver::Report;

// Short connection time-outs keep the time-out cases to a fraction of a second; the rules
// are the same as with the 5 s of a real connection.
constexpr std::uint32_t kConnectWaitMs = 1000;
constexpr std::uint32_t kConnectionTimeoutMs = 400;

std::unique_ptr<OMessage> ReadHolding(std::uint16_t start, std::uint16_t count) {
    return BuildReadRequest(MessageFraming::kTcp, 1, ReadArea::kHoldingRegister, start, count);
}

// A Modbus TCP device on 127.0.0.1 whose port comes from the machine settings.
class TcpChannelFixture : public ::testing::Test {
  protected:
    TcpChannelFixture()
        : sockets_(kConnectWaitMs, kConnectionTimeoutMs),
          channels_(device_,
                    ChannelServices{clock_, observer_, nullptr, &sockets_, &routes_, &settings_}) {
        device_.params.modbusTcp = 1;
        device_.params.primaryIpAddress = "127.0.0.1";
        device_.params.secondaryIpAddress = "127.0.0.2";
        device_.params.timeout = 100;
        channels_.SetRunning(true);
    }

    void UsePort(const std::string& address, int port) {
        ASSERT_TRUE(settings_.CreateKey(kTcpPortsKey));
        ASSERT_TRUE(settings_.WriteValue(kTcpPortsKey, address,
                                         RegValue::Dword(static_cast<std::uint32_t>(port))));
    }

    testing::FakeClock clock_;
    PosixTcpSockets sockets_;
    testing::FakeRouteTable routes_;
    testing::MemorySettingsStore settings_;
    RecordingExchangeObserver observer_;
    ODevice device_;
    DeviceChannels channels_;
};

// ---- against the controller simulator ----

class TcpChannelPlcsimTest : public TcpChannelFixture {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(simulator_.Start({"--tcp", "127.0.0.1:0", "--tcp", "127.0.0.2:0", "--holding",
                                      "0=1111", "--holding", "1=2222"},
                                     error))
            << error;
        UsePort("127.0.0.1", simulator_.TcpPort(1));
        UsePort("127.0.0.2", simulator_.TcpPort(2));
    }
    void TearDown() override { simulator_.Stop(); }

    // Reads holding 0 and 1 and checks the values.
    void ExpectGoodRead(std::uint16_t first = 1111) {
        auto request = ReadHolding(0, 2);
        channels_.TransactTcp(request.get());
        ASSERT_TRUE(request->IsValid());
        EXPECT_EQ(request->GetWord(0), first);
        EXPECT_EQ(request->GetWord(1), 2222);
    }

    test::PlcsimProcess simulator_;
};

TEST_F(TcpChannelPlcsimTest, GoodExchangeIsCountedAndReported) {
    const FileTime before = clock_.NowUtc();
    auto request = ReadHolding(0, 2);
    EXPECT_EQ(channels_.TransactTcp(request.get()), request.get());
    ASSERT_TRUE(request->IsValid());
    EXPECT_EQ(request->GetWord(0), 1111);
    EXPECT_EQ(request->AnswerTime(), before);
    EXPECT_EQ(channels_.Counts(0), (ChannelCounts{1, 1, 0, 0}));
    EXPECT_EQ(channels_.Counts(1), (ChannelCounts{}));
    EXPECT_TRUE(channels_.ActiveOk());
    EXPECT_TRUE(channels_.ActiveConnected());
    EXPECT_EQ(observer_.Reports(), (std::vector<Report>{{&device_, false, kActiveChannel}}));

    ExpectGoodRead();  // the connection is kept
    EXPECT_EQ(simulator_.ReportValue("ch1.accepted"), 1);
}

TEST_F(TcpChannelPlcsimTest, ExceptionAnswerFailsTheRequestButNotTheChannel) {
    ASSERT_EQ(simulator_.Command("exception 2 1"), "");
    auto request = ReadHolding(0, 2);
    channels_.TransactTcp(request.get());
    EXPECT_FALSE(request->IsValid());
    EXPECT_EQ(request->Length(), 0);
    EXPECT_EQ(channels_.Counts(0), (ChannelCounts{1, 0, 0, 1}));
    EXPECT_TRUE(channels_.ActiveConnected());
    EXPECT_EQ(observer_.Reports().back().failed, false);
    ExpectGoodRead();
    EXPECT_EQ(channels_.Counts(0), (ChannelCounts{2, 1, 0, 1}));
}

TEST_F(TcpChannelPlcsimTest, BytesTrailingAnAnswerDoNotSpoilTheNextAnswer) {
    ASSERT_EQ(simulator_.Command("wrong-length 3 1"), "");
    ExpectGoodRead();  // the expected length arrives first: it is the answer
    EXPECT_EQ(channels_.Counts(0), (ChannelCounts{1, 1, 0, 0}));
    ASSERT_EQ(simulator_.Command("set holding 0 3333"), "");
    ExpectGoodRead(3333);  // the three stray bytes went before it
    ExpectGoodRead(3333);
    EXPECT_EQ(channels_.Counts(0), (ChannelCounts{3, 3, 0, 0}));
}

TEST_F(TcpChannelPlcsimTest, CutAnswerIsWaitedForToTheTimeOutAndTheProbeKeepsTheConnection) {
    ASSERT_EQ(simulator_.Command("wrong-length -1 1"), "");
    auto request = ReadHolding(0, 2);
    channels_.TransactTcp(request.get());
    EXPECT_FALSE(request->IsValid());
    // Its header announces the byte that never comes: a time-out, then the probe answers.
    EXPECT_EQ(channels_.Counts(0), (ChannelCounts{2, 1, 1, 0}));
    EXPECT_TRUE(channels_.ActiveConnected());
    EXPECT_EQ(observer_.Reports().back().failed, false);
    ExpectGoodRead();
}

TEST_F(TcpChannelPlcsimTest, AnswersSplitIntoSegmentsAreReadWhole) {
    for (const char* split : {"gap=5", "gap=50", "gap=2 parts=99"}) {
        SCOPED_TRACE(split);
        ASSERT_EQ(simulator_.Command(std::string("split 1 ") + split), "");
        ExpectGoodRead();
    }
    EXPECT_EQ(channels_.Counts(0), (ChannelCounts{3, 3, 0, 0}));
}

TEST_F(TcpChannelPlcsimTest, TimeOutIsProbedAndASilentControllerClosesTheConnection) {
    ASSERT_EQ(simulator_.Command("silent on"), "");
    auto request = ReadHolding(0, 2);
    channels_.TransactTcp(request.get());
    EXPECT_FALSE(request->IsValid());
    // The request and the diagnostic probe both timed out.
    EXPECT_EQ(channels_.Counts(0), (ChannelCounts{2, 0, 2, 0}));
    EXPECT_EQ(simulator_.ReportValue("requests.fc3"), 1);
    EXPECT_EQ(simulator_.ReportValue("requests.fc8"), 1);
    EXPECT_FALSE(channels_.ActiveConnected());
    EXPECT_FALSE(channels_.ActiveOk());
    EXPECT_EQ(observer_.Reports(), (std::vector<Report>{{&device_, true, kActiveChannel}}));

    ASSERT_EQ(simulator_.Command("silent off"), "");
    ExpectGoodRead();  // a new connection
    EXPECT_EQ(simulator_.ReportValue("ch1.accepted"), 2);
}

TEST_F(TcpChannelPlcsimTest, TimedOutDiagnosticRequestIsNotProbedAgain) {
    ASSERT_EQ(simulator_.Command("silent on"), "");
    auto probe = BuildDiagnosticRequest(MessageFraming::kTcp, 1);
    channels_.TransactTcp(probe.get());
    EXPECT_FALSE(probe->IsValid());
    EXPECT_EQ(simulator_.ReportValue("requests.fc8"), 1);
    EXPECT_EQ(channels_.Counts(0), (ChannelCounts{1, 0, 1, 0}));
    EXPECT_FALSE(channels_.ActiveConnected());
}

TEST_F(TcpChannelPlcsimTest, LateAnswerIsNeverTakenForTheAnswerOfALaterRequest) {
    ASSERT_EQ(simulator_.Command("delay 700"), "");
    auto late = ReadHolding(0, 2);
    channels_.TransactTcp(late.get());  // times out; the probe is late too
    EXPECT_FALSE(late->IsValid());
    ASSERT_EQ(simulator_.Command("delay 0"), "");
    ASSERT_EQ(simulator_.Command("set holding 0 4444"), "");
    // Whenever the late answers arrive, the next reads get their own answers.
    ExpectGoodRead(4444);
    ExpectGoodRead(4444);
}

TEST_F(TcpChannelPlcsimTest, HangUpIsACommunicationErrorAndTheNextRequestReconnects) {
    ASSERT_EQ(simulator_.Command("hangup 1"), "");
    auto request = ReadHolding(0, 2);
    channels_.TransactTcp(request.get());
    EXPECT_FALSE(request->IsValid());
    EXPECT_EQ(channels_.Counts(0), (ChannelCounts{1, 0, 0, 1}));
    EXPECT_FALSE(channels_.ActiveConnected());
    EXPECT_EQ(observer_.Reports().back().failed, true);
    ExpectGoodRead();
}

TEST_F(TcpChannelPlcsimTest, TimeSyncBroadcastIsAnsweredOverTcp) {
    LocalTime now{2026, 12, 9, 14, 3, 7, 250, 3};
    auto sync = BuildTimeSyncRequest(MessageFraming::kTcp, now);
    channels_.TransactTcp(sync.get());
    EXPECT_TRUE(sync->IsValid());
    EXPECT_EQ(simulator_.ReportValue("timesync.count"), 1);
    EXPECT_EQ(simulator_.ReportText("timesync.last"), "2026-12-09 14:03:07.250");
}

TEST_F(TcpChannelPlcsimTest, ActiveChannelFollowsTheDeviceAndSwitchesKeepConnections) {
    device_.activeChannel = 1;
    ExpectGoodRead();
    EXPECT_EQ(channels_.Counts(1), (ChannelCounts{1, 1, 0, 0}));
    EXPECT_EQ(simulator_.ReportValue("requests.ch2"), 1);

    // The standby probe of the primary while the secondary is active: three probes on a
    // new connection, each followed by the supervisor wait.
    int waits = 0;
    EXPECT_TRUE(channels_.ProbeStandbyTcp([&] { ++waits; }));
    EXPECT_EQ(waits, 3);
    EXPECT_TRUE(channels_.StandbyOk());
    EXPECT_EQ(channels_.Counts(0), (ChannelCounts{3, 3, 0, 0}));
    EXPECT_EQ(observer_.Reports().back(), (Report{&device_, false, kStandbyChannel}));

    channels_.SwitchChannel();
    EXPECT_EQ(device_.activeChannel, 0);
    EXPECT_FALSE(channels_.ActiveOk());
    EXPECT_FALSE(channels_.StandbyOk());
    ExpectGoodRead();  // on the connection the probe opened
    EXPECT_EQ(simulator_.ReportValue("ch1.accepted"), 1);
    EXPECT_EQ(channels_.Counts(0), (ChannelCounts{4, 4, 0, 0}));

    EXPECT_TRUE(channels_.ProbeStandbyTcp([&] { ++waits; }));  // an open connection: once
    EXPECT_EQ(waits, 4);
}

TEST_F(TcpChannelPlcsimTest, FailedStandbyProbeClosesTheStandbyConnection) {
    ASSERT_EQ(simulator_.Command("cut 2"), "");
    EXPECT_FALSE(channels_.ProbeStandbyTcp(nullptr));
    EXPECT_EQ(channels_.Counts(1), (ChannelCounts{0, 0, 0, 1}));  // the connect failed
    EXPECT_EQ(observer_.Reports().back(), (Report{&device_, true, kStandbyChannel}));

    ASSERT_EQ(simulator_.Command("restore 2"), "");
    EXPECT_TRUE(channels_.ProbeStandbyTcp(nullptr));
    ASSERT_EQ(simulator_.Command("silent on ch=2"), "");
    EXPECT_FALSE(channels_.ProbeStandbyTcp(nullptr));
    EXPECT_FALSE(channels_.StandbyConnected());
    EXPECT_FALSE(channels_.StandbyOk());
}

// ---- against a libmodbus slave ----

// A libmodbus TCP slave on 127.0.0.1 at a port the system picks; one connection at a time.
class LibmodbusTcpSlave {
  public:
    LibmodbusTcpSlave() {
        context_ = modbus_new_tcp("127.0.0.1", 0);
        mapping_ = modbus_mapping_new(16, 0, 200, 0);
        for (int i = 0; i < 200; ++i) mapping_->tab_registers[i] = static_cast<uint16_t>(1000 + i);
        mapping_->tab_bits[3] = 1;
        listener_ = modbus_tcp_listen(context_, 1);
        sockaddr_in at{};
        socklen_t length = sizeof at;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&at), &length);
        port_ = ntohs(at.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~LibmodbusTcpSlave() {
        stop_ = true;
        shutdown(listener_, SHUT_RDWR);
        thread_.join();
        close(listener_);
        modbus_mapping_free(mapping_);
        modbus_free(context_);
    }
    int Port() const { return port_; }
    std::uint16_t Register(int n) const { return mapping_->tab_registers[n]; }

  private:
    void Serve() {
        while (!stop_) {
            int fd = listener_;
            if (modbus_tcp_accept(context_, &fd) < 0) return;
            modbus_set_indication_timeout(context_, 0, 100000);
            std::uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
            while (!stop_) {
                int n = modbus_receive(context_, query);
                if (n < 0 && errno == ETIMEDOUT) continue;
                if (n < 0) break;
                if (n > 0) modbus_reply(context_, query, n, mapping_);
            }
            modbus_close(context_);
        }
    }

    modbus_t* context_ = nullptr;
    modbus_mapping_t* mapping_ = nullptr;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

TEST_F(TcpChannelFixture, LibmodbusSlaveAnswersFullReadsWritesAndExceptions) {
    LibmodbusTcpSlave slave;
    UsePort("127.0.0.1", slave.Port());

    auto full = ReadHolding(0, 125);
    channels_.TransactTcp(full.get());
    ASSERT_TRUE(full->IsValid());
    EXPECT_EQ(full->GetWord(0), 1000);
    EXPECT_EQ(full->GetWord(124), 1124);

    auto coils = BuildReadRequest(MessageFraming::kTcp, 1, ReadArea::kOutputCoil, 0, 10);
    channels_.TransactTcp(coils.get());
    ASSERT_TRUE(coils->IsValid());
    EXPECT_EQ(coils->GetBit(3), 0xFFFF);
    EXPECT_EQ(coils->GetBit(2), 0);

    const std::uint16_t values[] = {7, 8, 9};
    auto write = BuildWriteRegistersRequest(MessageFraming::kTcp, 1, 150, values);
    channels_.TransactTcp(write.get());
    EXPECT_TRUE(write->IsValid());
    EXPECT_EQ(slave.Register(152), 9);

    // Beyond the slave's registers: an exception answer, shorter than expected.
    auto beyond = ReadHolding(190, 20);
    channels_.TransactTcp(beyond.get());
    EXPECT_FALSE(beyond->IsValid());
    EXPECT_TRUE(channels_.ActiveConnected());

    auto again = ReadHolding(0, 2);
    channels_.TransactTcp(again.get());
    ASSERT_TRUE(again->IsValid());
    EXPECT_EQ(again->GetWord(1), 1001);
    EXPECT_EQ(channels_.Counts(0), (ChannelCounts{5, 4, 0, 1}));
}

// ---- connections and routes ----

TEST_F(TcpChannelFixture, ControllerThatDoesNotListenCostsOneCommunicationErrorPerRequest) {
    int unused = 0;
    {
        // A port that was free a moment ago: nothing listens there.
        SocketHolder probe;
        ASSERT_TRUE(sockets_.Listen(probe, "127.0.0.1", 0));
        unused = sockets_.LocalPort(probe);
        sockets_.CloseSocket(probe);
    }
    UsePort("127.0.0.1", unused);
    for (int i = 0; i < 2; ++i) {
        auto request = ReadHolding(0, 2);
        channels_.TransactTcp(request.get());
        EXPECT_EQ(request->Length(), 0);
    }
    EXPECT_EQ(channels_.Counts(0), (ChannelCounts{0, 0, 0, 2}));
    EXPECT_FALSE(channels_.ActiveOk());
    EXPECT_EQ(observer_.Reports(), (std::vector<Report>{{&device_, true, kActiveChannel},
                                                        {&device_, true, kActiveChannel}}));
}

TEST_F(TcpChannelFixture, NothingIsSentWhileTheDeviceIsStoppedOrNotATcpDevice) {
    channels_.SetRunning(false);
    auto stopped = ReadHolding(0, 2);
    channels_.TransactTcp(stopped.get());
    EXPECT_EQ(stopped->Length(), 0);
    channels_.SetRunning(true);
    device_.params.modbusTcp = 0;
    auto serial = ReadHolding(0, 2);
    channels_.TransactTcp(serial.get());
    EXPECT_EQ(serial->Length(), 0);
    EXPECT_TRUE(observer_.Reports().empty());
    EXPECT_EQ(channels_.Counts(0), (ChannelCounts{}));
    EXPECT_EQ(channels_.TransactTcp(nullptr), nullptr);
}

TEST_F(TcpChannelFixture, UnsetAddressIsNotTakenForThisHost) {
    device_.params.primaryIpAddress = "0.0.0.0";
    EXPECT_FALSE(channels_.ConnectActive(0));
    EXPECT_EQ(channels_.Counts(0), (ChannelCounts{0, 0, 0, 1}));
}

TEST_F(TcpChannelPlcsimTest, ConnectionsLayTheirChannelsRoutesAndClosingRemovesThem) {
    routes_.AddAdapter(3, "LAN1",
                       {{AddressFromOctets(10, 1, 0, 9), AddressFromOctets(255, 255, 0, 0)}});
    routes_.AddAdapter(4, "LAN2",
                       {{AddressFromOctets(10, 2, 0, 9), AddressFromOctets(255, 255, 0, 0)}});
    device_.params.primaryGatewayAddress = "10.1.0.9";
    device_.params.secondaryGatewayAddress = "10.2.0.9";
    ExpectGoodRead();
    EXPECT_TRUE(channels_.ProbeStandbyTcp(nullptr));
    ASSERT_EQ(routes_.routes.size(), 2u);
    EXPECT_EQ(routes_.routes[0].destination, AddressFromOctets(127, 0, 0, 1));
    EXPECT_EQ(routes_.routes[0].interfaceIndex, 3u);
    EXPECT_EQ(routes_.routes[1].destination, AddressFromOctets(127, 0, 0, 2));
    EXPECT_EQ(routes_.routes[1].interfaceIndex, 4u);

    channels_.CloseActive();
    EXPECT_FALSE(channels_.ActiveConnected());
    ASSERT_EQ(routes_.routes.size(), 1u);
    EXPECT_EQ(routes_.routes[0].destination, AddressFromOctets(127, 0, 0, 2));
    channels_.RemoveRoute(1);
    EXPECT_TRUE(routes_.routes.empty());
}

TEST(TcpPortSettingTest, PortPerAddressWithDefault502) {
    testing::MemorySettingsStore store;
    EXPECT_EQ(ModbusTcpPort(nullptr, "10.0.0.1"), 502);
    EXPECT_EQ(ModbusTcpPort(&store, "10.0.0.1"), 502);
    ASSERT_TRUE(store.CreateKey(kTcpPortsKey));
    ASSERT_TRUE(store.WriteValue(kTcpPortsKey, "10.0.0.1", RegValue::Dword(1502)));
    ASSERT_TRUE(store.WriteValue(kTcpPortsKey, "10.0.0.2", RegValue::Dword(70000)));
    ASSERT_TRUE(store.WriteValue(kTcpPortsKey, "10.0.0.3", RegValue::String("1503")));
    EXPECT_EQ(ModbusTcpPort(&store, "10.0.0.1"), 1502);
    EXPECT_EQ(ModbusTcpPort(&store, "10.0.0.2"), 502);
    EXPECT_EQ(ModbusTcpPort(&store, "10.0.0.3"), 502);
}

TEST(TcpRouteConnectionTest, RouteIsLaidThroughTheGatewayAdapterAndRemovedOnClose) {
    PosixTcpSockets sockets(kConnectWaitMs, kConnectionTimeoutMs);
    testing::FakeRouteTable routes;
    routes.AddAdapter(7, "LAN2",
                      {{AddressFromOctets(10, 0, 0, 5), AddressFromOctets(255, 0, 0, 0)}});
    SocketHolder listener;
    ASSERT_TRUE(sockets.Listen(listener, "127.0.0.1", 0));
    const std::uint16_t port = sockets.LocalPort(listener);

    SocketHolder holder;
    ASSERT_TRUE(ConnectThroughRoute(sockets, &routes, holder, "127.0.0.1", port, "10.0.0.5"));
    ASSERT_EQ(routes.routes.size(), 1u);
    EXPECT_EQ(routes.routes[0].destination, AddressFromOctets(127, 0, 0, 1));
    EXPECT_EQ(routes.routes[0].nextHop, AddressFromOctets(10, 0, 0, 5));
    EXPECT_EQ(routes.routes[0].interfaceIndex, 7u);

    // Connecting again lays the route afresh: still one.
    ASSERT_TRUE(ConnectThroughRoute(sockets, &routes, holder, "127.0.0.1", port, "10.0.0.5"));
    EXPECT_EQ(routes.routes.size(), 1u);

    CloseAndRemoveRoute(sockets, &routes, holder, "127.0.0.1", "10.0.0.5");
    EXPECT_TRUE(holder.Empty());
    EXPECT_TRUE(routes.routes.empty());

    ASSERT_TRUE(ConnectThroughRoute(sockets, &routes, holder, "127.0.0.1", port, "0.0.0.0"));
    EXPECT_TRUE(routes.routes.empty());  // no gateway: no route change
    sockets.CloseSocket(holder);
    sockets.CloseSocket(listener);
}

// ---- a scripted peer for answers that come too late ----

// Accepts one connection on loopback and hands each request frame to the script, which
// answers through send (or not at all).
class ScriptedPeer {
  public:
    using Script = std::function<void(int index, const Bytes& request,
                                      const std::function<void(const Bytes&)>& send)>;

    explicit ScriptedPeer(Script script, std::uint32_t address = INADDR_LOOPBACK)
        : script_(std::move(script)) {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(address);
        bind(listener_, reinterpret_cast<sockaddr*>(&at), sizeof at);
        listen(listener_, 1);
        socklen_t length = sizeof at;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&at), &length);
        port_ = ntohs(at.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~ScriptedPeer() {
        stop_ = true;
        thread_.join();
        close(listener_);
    }
    int Port() const { return port_; }
    int Requests() const { return requests_; }

  private:
    bool ReadExactly(int fd, std::uint8_t* into, std::size_t count) {
        std::size_t got = 0;
        while (got < count && !stop_) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            ssize_t n = read(fd, into + got, count - got);
            if (n <= 0) return false;
            got += static_cast<std::size_t>(n);
        }
        return got == count;
    }

    void Serve() {
        int fd = -1;
        while (!stop_ && fd < 0) {
            pollfd p{listener_, POLLIN, 0};
            if (poll(&p, 1, 50) > 0) fd = accept(listener_, nullptr, nullptr);
        }
        if (fd < 0) return;
        const int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);  // each write a segment
        auto send = [fd](const Bytes& bytes) {
            ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        };
        for (int index = 0; !stop_; ++index) {
            Bytes request(6);
            if (!ReadExactly(fd, request.data(), 6)) break;
            request.resize(6 + (request[4] << 8 | request[5]));
            if (!ReadExactly(fd, request.data() + 6, request.size() - 6)) break;
            ++requests_;
            script_(index, request, send);
        }
        close(fd);
    }

    Script script_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> requests_{0};
    std::thread thread_;
};

// The answer to a read of holding registers, with the request's transaction identifier.
Bytes ReadAnswer(const Bytes& request, std::vector<std::uint16_t> values) {
    const auto data = static_cast<std::uint8_t>(values.size() * 2);
    Bytes answer{request[0], request[1], 0,   0, 0, static_cast<std::uint8_t>(3 + data),
                 request[6], 3,          data};
    for (auto v : values) {
        answer.push_back(static_cast<std::uint8_t>(v >> 8));
        answer.push_back(static_cast<std::uint8_t>(v & 0xFF));
    }
    return answer;
}

Bytes Join(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class TcpLateAnswerTest : public TcpChannelFixture {};

TEST_F(TcpLateAnswerTest, LateAnswerBeforeTheProbeAnswerKeepsTheChannelAndIsDropped) {
    Bytes held;
    ScriptedPeer peer([&](int index, const Bytes& request, const auto& send) {
        if (index == 0) {
            held = request;  // no answer within the time-out
        } else if (index == 1) {
            // The probe: first the late answer to the read, then the probe's echo.
            send(Join(ReadAnswer(held, {1111, 1111}), request));
        } else {
            send(ReadAnswer(request, {2222, 2222}));
        }
    });
    UsePort("127.0.0.1", peer.Port());

    auto first = ReadHolding(0, 2);
    channels_.TransactTcp(first.get());
    EXPECT_FALSE(first->IsValid());  // its answer is lost to it
    EXPECT_TRUE(channels_.ActiveConnected());
    EXPECT_TRUE(channels_.ActiveOk());
    EXPECT_EQ(observer_.Reports(), (std::vector<Report>{{&device_, false, kActiveChannel}}));
    EXPECT_EQ(channels_.Counts(0), (ChannelCounts{2, 1, 1, 0}));

    auto second = ReadHolding(0, 2);
    channels_.TransactTcp(second.get());
    ASSERT_TRUE(second->IsValid());
    EXPECT_EQ(second->GetWord(0), 2222);
    EXPECT_EQ(channels_.Counts(0), (ChannelCounts{3, 2, 1, 0}));
}

TEST_F(TcpLateAnswerTest, LateAnswerJustAheadOfTheRightOneIsPassedOver) {
    Bytes held;
    ScriptedPeer peer([&](int index, const Bytes& request, const auto& send) {
        if (index == 0) {
            held = request;
        } else if (index == 1) {
            send(request);  // the probe is answered at once
        } else {
            // The late answer arrives after the next request went out, just before its
            // answer, with the same length.
            send(Join(ReadAnswer(held, {1111, 1111}), ReadAnswer(request, {2222, 2222})));
        }
    });
    UsePort("127.0.0.1", peer.Port());

    auto first = ReadHolding(0, 2);
    channels_.TransactTcp(first.get());
    EXPECT_FALSE(first->IsValid());
    auto second = ReadHolding(0, 2);
    channels_.TransactTcp(second.get());
    ASSERT_TRUE(second->IsValid());
    EXPECT_EQ(second->GetWord(0), 2222);
    EXPECT_EQ(channels_.Counts(0), (ChannelCounts{3, 2, 1, 0}));
}

TEST_F(TcpLateAnswerTest, FloodOfForeignAnswersIsNeverTakenForTheAnswer) {
    ScriptedPeer peer([&](int index, const Bytes& request, const auto& send) {
        Bytes foreign = ReadAnswer(request, {1111, 1111});
        foreign[0] = 0x77;  // another transaction
        if (index == 0) {
            Bytes flood;
            for (int i = 0; i < 12; ++i) flood = Join(flood, foreign);
            send(flood);
        } else {
            send(ReadAnswer(request, {2222, 2222}));
        }
    });
    UsePort("127.0.0.1", peer.Port());
    auto first = ReadHolding(0, 2);
    channels_.TransactTcp(first.get());
    EXPECT_FALSE(first->IsValid());
    EXPECT_EQ(channels_.Counts(0), (ChannelCounts{1, 0, 0, 1}));
    auto second = ReadHolding(0, 2);
    channels_.TransactTcp(second.get());
    ASSERT_TRUE(second->IsValid());
    EXPECT_EQ(second->GetWord(0), 2222);
}

TEST_F(TcpLateAnswerTest, PartOfAHeaderIsATimeOutAndTheStreamIsClearedBeforeTheNextRequest) {
    ScriptedPeer peer([&](int index, const Bytes& request, const auto& send) {
        if (index == 0) {
            Bytes answer = ReadAnswer(request, {1111, 1111});
            send(Bytes(answer.begin(), answer.begin() + 3));  // then nothing more
        } else if (index == 1) {
            send(request);  // the probe
        } else {
            send(ReadAnswer(request, {2222, 2222}));
        }
    });
    UsePort("127.0.0.1", peer.Port());
    auto first = ReadHolding(0, 2);
    channels_.TransactTcp(first.get());
    EXPECT_FALSE(first->IsValid());
    EXPECT_EQ(channels_.Counts(0), (ChannelCounts{2, 1, 1, 0}));
    auto second = ReadHolding(0, 2);
    channels_.TransactTcp(second.get());
    ASSERT_TRUE(second->IsValid());
    EXPECT_EQ(second->GetWord(0), 2222);
}

// ---- answers in pieces ----

// Writes the bytes in pieces of the given sizes (the rest last), each a segment of its own.
void SendInPieces(const std::function<void(const Bytes&)>& send, const Bytes& bytes,
                  std::vector<std::size_t> sizes) {
    std::size_t at = 0;
    sizes.push_back(bytes.size());
    for (std::size_t size : sizes) {
        const std::size_t end = std::min(bytes.size(), at + size);
        if (end == at) continue;
        send(Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                   bytes.begin() + static_cast<std::ptrdiff_t>(end)));
        at = end;
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
}

TEST_F(TcpLateAnswerTest, AnswerInPiecesIsReadAtEverySplitPointAndByteByByte) {
    const std::size_t length = ReadHolding(0, 3)->GetAnswerLength();
    ScriptedPeer peer([&](int index, const Bytes& request, const auto& send) {
        const auto n = static_cast<std::uint16_t>(index);
        const Bytes answer = ReadAnswer(request, {n, 2, 3});
        const auto cut = static_cast<std::size_t>(index) + 1;
        if (cut < length)
            SendInPieces(send, answer, {cut});
        else
            SendInPieces(send, answer, std::vector<std::size_t>(length, 1));
    });
    UsePort("127.0.0.1", peer.Port());
    for (std::uint16_t n = 0; n < length; ++n) {
        SCOPED_TRACE(n + 1u < length ? "split after byte " + std::to_string(n + 1) : "byte-wise");
        auto request = ReadHolding(0, 3);
        channels_.TransactTcp(request.get());
        ASSERT_TRUE(request->IsValid());
        EXPECT_EQ(request->GetWord(0), n);
        EXPECT_EQ(request->GetWord(2), 3);
    }
    EXPECT_EQ(channels_.Counts(0), (ChannelCounts{static_cast<std::uint32_t>(length),
                                                  static_cast<std::uint32_t>(length), 0, 0}));
}

TEST_F(TcpLateAnswerTest, AfterAForeignAnswerTheRightOneIsAwaitedOnlyForTheAnswerTimeOut) {
    ScriptedPeer peer([&](int index, const Bytes& request, const auto& send) {
        if (index == 0) {
            Bytes foreign = ReadAnswer(request, {1, 1});
            foreign[0] ^= 0x40;
            send(foreign);
            // Within the connection's wait, but later than the device's answer time-out.
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            send(ReadAnswer(request, {1111, 1111}));
        } else {
            send(request[7] == 8 ? request : ReadAnswer(request, {2222, 2222}));
        }
    });
    UsePort("127.0.0.1", peer.Port());
    auto first = ReadHolding(0, 2);
    channels_.TransactTcp(first.get());
    EXPECT_FALSE(first->IsValid());
    EXPECT_EQ(channels_.Counts(0), (ChannelCounts{2, 1, 1, 0}));
    EXPECT_TRUE(channels_.ActiveOk());
    auto second = ReadHolding(0, 2);
    channels_.TransactTcp(second.get());
    ASSERT_TRUE(second->IsValid());
    EXPECT_EQ(second->GetWord(0), 2222);
}

// ---- controllers that answer every request with transaction identifier 0 ----

Bytes WithTransactionZero(Bytes answer) {
    answer[0] = answer[1] = 0;
    return answer;
}

TEST_F(TcpLateAnswerTest, ControllerAnsweringTransactionZeroIsReadWithoutTimeOuts) {
    ScriptedPeer peer([&](int index, const Bytes& request, const auto& send) {
        send(WithTransactionZero(ReadAnswer(request, {static_cast<std::uint16_t>(index), 7})));
    });
    UsePort("127.0.0.1", peer.Port());
    for (std::uint16_t n = 0; n < 3; ++n) {
        auto request = ReadHolding(0, 2);
        channels_.TransactTcp(request.get());
        ASSERT_TRUE(request->IsValid());
        EXPECT_EQ(request->GetWord(0), n);
    }
    EXPECT_EQ(channels_.Counts(0), (ChannelCounts{3, 3, 0, 0}));
}

TEST_F(TcpLateAnswerTest, LateAnswerOfAControllerAnsweringZeroIsDroppedBeforeTheNextRequest) {
    std::promise<void> lateSent;
    Bytes held;
    ScriptedPeer peer([&](int index, const Bytes& request, const auto& send) {
        if (index == 0) {
            held = request;  // no answer within the time-out
        } else if (index == 1) {
            // The probe is answered, then the read's answer comes late.
            send(WithTransactionZero(request));
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            send(WithTransactionZero(ReadAnswer(held, {1111, 1111})));
            lateSent.set_value();
        } else {
            send(WithTransactionZero(ReadAnswer(request, {2222, 2222})));
        }
    });
    UsePort("127.0.0.1", peer.Port());
    auto first = ReadHolding(0, 2);
    channels_.TransactTcp(first.get());
    EXPECT_FALSE(first->IsValid());
    EXPECT_TRUE(channels_.ActiveOk());  // the probe was answered
    lateSent.get_future().wait();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the late bytes arrive

    auto second = ReadHolding(0, 2);
    channels_.TransactTcp(second.get());
    ASSERT_TRUE(second->IsValid());
    EXPECT_EQ(second->GetWord(0), 2222);
}

// ---- answers that do not answer the request ----

TEST_F(TcpLateAnswerTest, AnswerThatDoesNotAnswerTheRequestNeverBecomesAValue) {
    struct Case {
        const char* what;
        std::function<void(Bytes&)> spoil;
    };
    const std::vector<Case> cases{
        {"another function code", [](Bytes& a) { a[7] = 4; }},
        {"another unit identifier", [](Bytes& a) { a[6] = 9; }},
        {"a protocol identifier other than 0", [](Bytes& a) { a[3] = 1; }},
        {"a byte count that says less than was asked", [](Bytes& a) { a[8] = 2; }},
    };
    for (const Case& c : cases) {
        for (bool zero : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (zero ? ", transaction 0" : ""));
            ScriptedPeer peer([&](int, const Bytes& request, const auto& send) {
                Bytes answer = ReadAnswer(request, {0, 1, 0, 1});
                if (zero) answer = WithTransactionZero(answer);
                c.spoil(answer);
                send(answer);
            });
            UsePort("127.0.0.1", peer.Port());
            auto request = ReadHolding(0, 4);
            channels_.TransactTcp(request.get());
            EXPECT_FALSE(request->IsValid());
            channels_.CloseActive();
        }
    }
    EXPECT_EQ(channels_.Counts(0).received, 0u);
    EXPECT_EQ(channels_.Counts(0).commErrors, 8u);
}

// ---- a channel switch while an exchange and a probe are in flight ----

// The switch waits for the exchange and the probe in flight; a probe that starts the moment
// the switch is over (at its pause point) already finds the connections and the active
// channel changed together: every request counts on the physical channel whose controller
// received it, and the kept connections serve the new roles.
TEST_F(TcpLateAnswerTest, SwitchWaitsForTheExchangeAndTheProbeAndMovesBothTogether) {
    std::promise<void> readAsked, probeAsked;
    std::promise<void> release;
    std::shared_future<void> go = release.get_future().share();
    auto holdFirst = [&go](std::promise<void>& asked) {
        return [&asked, go, first = true](int, const Bytes& request, const auto& send) mutable {
            if (first) {
                first = false;
                asked.set_value();
                go.wait();
            }
            send(request[7] == 8 ? request : ReadAnswer(request, {1, 2}));
        };
    };
    ScriptedPeer primary(holdFirst(readAsked));
    ScriptedPeer secondary(holdFirst(probeAsked), 0x7F000002);  // 127.0.0.2
    UsePort("127.0.0.1", primary.Port());
    UsePort("127.0.0.2", secondary.Port());
    testing::RecordingPoster poster;
    CommSupervision supervision(clock_, poster, [] {});
    supervision.AttachChannels([this](ODevice&) { return &channels_; });
    supervision.Register(device_);
    clock_.Advance(CommSupervision::kSwitchSpacingMs);
    supervision.SetSwitchPausePoint(
        [this](ODevice&) { std::thread([this] { channels_.ProbeStandbyTcp(nullptr); }).join(); });

    std::thread read([&] {
        auto request = ReadHolding(0, 2);
        channels_.TransactTcp(request.get());
        EXPECT_TRUE(request->IsValid());
    });
    std::thread probe([&] { channels_.ProbeStandbyTcp(nullptr); });
    readAsked.get_future().wait();
    probeAsked.get_future().wait();
    std::thread change([&] { EXPECT_TRUE(supervision.ChangePort(device_)); });
    release.set_value();
    read.join();
    probe.join();
    change.join();

    EXPECT_EQ(device_.activeChannel, 1);
    auto countedAsReceived = [this](const ScriptedPeer& peer, int index) {
        const ChannelCounts counts = channels_.Counts(index);
        EXPECT_EQ(counts.sent, static_cast<std::uint32_t>(peer.Requests())) << index;
        EXPECT_EQ(counts.received, counts.sent) << index;
    };
    countedAsReceived(primary, 0);
    countedAsReceived(secondary, 1);
    auto request = ReadHolding(0, 2);
    channels_.TransactTcp(request.get());
    EXPECT_TRUE(request->IsValid());
    EXPECT_TRUE(channels_.ProbeStandbyTcp(nullptr));
    countedAsReceived(primary, 0);
    countedAsReceived(secondary, 1);
}

}  // namespace
}  // namespace velk
