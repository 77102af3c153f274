// The link's two threads on loopback with real sockets: the test plays the peer (its own
// sockets send packets to the listener and accept what the client thread sends), tags are
// looked up in a small table, the AE event thread is a recorder and the clock is never the
// machine's: a recording setter takes what would be set.
#include "redundancy/redundancy_link.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "model/b_event.h"
#include "model/o_modbus_tag.h"
#include "opcae/b_ack_msg.h"
#include "platform/clock_setter.h"
#include "platform/linux/posix_tcp_sockets.h"
#include "platform/worker_thread.h"
#include "redundancy/ack_message_queue.h"
#include "redundancy/received_packet_queue.h"
#include "redundancy/redundancy_messages.h"
#include "redundancy/redundancy_packets.h"
#include "tests/support/child_process.h"
#include "tests/support/fake_clock.h"

namespace velk {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using testing::WaitUntil;

class RecordingClockSetter final : public ILocalClockSetter {
  public:
    bool SetLocalTime(const LocalTime& local) override {
        std::lock_guard lock(mutex);
        set.push_back(local);
        return allowed;
    }
    std::vector<LocalTime> Set() {
        std::lock_guard lock(mutex);
        return set;
    }
    bool allowed = true;

  private:
    std::mutex mutex;
    std::vector<LocalTime> set;
};

class RecordingPoster final : public IEventPoster {
  public:
    void PostEvent(std::unique_ptr<BEvent> event) override {
        std::lock_guard lock(mutex);
        events.push_back(std::move(event));
    }
    std::size_t Count() {
        std::lock_guard lock(mutex);
        return events.size();
    }
    BEvent At(std::size_t i) {
        std::lock_guard lock(mutex);
        return *events.at(i);
    }

  private:
    std::mutex mutex;
    std::vector<std::unique_ptr<BEvent>> events;
};

// A free loopback port for the link to take. It is picked below the system's range of
// ephemeral ports, so that the outgoing connections of tests running beside this one
// cannot take it between this check and the link's bind.
std::uint16_t FreePort() {
    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<int> pick(20000, 32000);
    PosixTcpSockets sockets;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto port = static_cast<std::uint16_t>(pick(random));
        SocketHolder probe;
        if (!sockets.Listen(probe, "127.0.0.1", port)) continue;
        sockets.CloseSocket(probe);
        return port;
    }
    return 0;
}

// One server's side of the link with everything it is given.
class LinkSide {
  public:
    explicit LinkSide(RedundancyLinkSettings settings) : settings_(std::move(settings)) {
        for (const char* path : {"Dev1.Grp.T1", "Dev1.Grp.T2", "Dev1.T3"}) {
            auto tag = std::make_unique<OModbusTag>();
            tag->subconditionIndex = 7;
            tag->alarmState = 1;
            tag->acknowledgeState = 2;
            tag->activeTime = 1234567;
            tags_[path] = std::move(tag);
        }
        link_ = std::make_unique<RedundancyLink>(
            RedundancyServices{sockets_, listenerSockets_, nullptr, clock, clockSetter, poster,
                               tagDataLock_, [this] { return Settings(); },
                               [this] { return clients.load(); },
                               [this](const std::string& path, const std::string& delimiter) {
                                   return FindTag(path, delimiter);
                               },
                               [this](std::string_view line) {
                                   std::lock_guard lock(traceMutex_);
                                   trace_.emplace_back(line);
                               }},
            acks, received);
    }
    ~LinkSide() { Stop(); }

    void Start() {
        client_.Start([this](MessageQueue& q) { return link_->RunClient(q); });
        listener_.Start([this](MessageQueue& q) { return link_->RunListener(q); });
    }
    void Stop() {
        for (WorkerThread* thread : {&client_, &listener_}) {
            if (!thread->IsStarted()) continue;
            thread->PostQuit();
            thread->Join(10s);
        }
    }
    void PostToClient(std::uint32_t id, std::uintptr_t wParam) { client_.Post(id, wParam); }

    RedundancyLinkSettings Settings() {
        std::lock_guard lock(traceMutex_);
        return settings_;
    }
    OModbusTag& Tag(const std::string& path) { return *tags_.at(path); }
    std::size_t TraceCount(const std::string& text) {
        std::lock_guard lock(traceMutex_);
        return static_cast<std::size_t>(std::count(trace_.begin(), trace_.end(), text));
    }
    std::size_t TraceCountStarting(const std::string& text) {
        std::lock_guard lock(traceMutex_);
        return static_cast<std::size_t>(
            std::count_if(trace_.begin(), trace_.end(),
                          [&](const std::string& l) { return l.rfind(text, 0) == 0; }));
    }
    bool Listening() {
        return TraceCount("RedundantListenerThread: Redundant thread listen on " +
                          std::to_string(Settings().port)) > 0;
    }

    testing::FakeClock clock;
    RecordingClockSetter clockSetter;
    RecordingPoster poster;
    AckMessageQueue acks;
    ReceivedPacketQueue received;
    std::atomic<bool> clients{true};

  private:
    OModbusTag* FindTag(const std::string& path, const std::string& delimiter) {
        std::string dotted = path;
        for (std::size_t at = 0; (at = dotted.find(delimiter, at)) != std::string::npos;)
            dotted.replace(at, delimiter.size(), "."), ++at;
        const auto found = tags_.find(dotted);
        return found == tags_.end() ? nullptr : found->second.get();
    }

    RedundancyLinkSettings settings_;
    PosixTcpSockets sockets_{1000, 1000};
    PosixTcpSockets listenerSockets_{200, 1000};
    std::recursive_mutex tagDataLock_;
    std::map<std::string, std::unique_ptr<OModbusTag>> tags_;
    std::mutex traceMutex_;
    std::vector<std::string> trace_;
    std::unique_ptr<RedundancyLink> link_;
    WorkerThread client_{"TestRedClient"};
    WorkerThread listener_{"TestRedListen"};
};

// The peer's end, played by the test: sends raw bytes to the listener.
bool SendToListener(std::uint16_t port, const std::vector<Bytes>& writes,
                    const std::string& to = "127.0.0.1") {
    PosixTcpSockets sockets;
    SocketHolder connection;
    if (!sockets.OpenConnection(connection, to, port)) return false;
    for (const Bytes& bytes : writes) {
        if (sockets.SendTimed(connection, bytes.data(), static_cast<int>(bytes.size()), 1000) !=
            static_cast<int>(bytes.size()))
            return false;
        ::usleep(20000);  // separate segments
    }
    sockets.CloseSocket(connection);
    return true;
}

Bytes Frame(const std::unique_ptr<OTcpMessage>& message) {
    return Bytes(message->Frame().begin(), message->Frame().end());
}

Bytes Ack(const std::string& path, FileTime when) {
    return Frame(EncodeAckAlarm(BAckMsg(when, path)));
}

class RedundancyLinkTest : public ::testing::Test {
  protected:
    RedundancyLinkSettings Settings(const std::string& server, const std::string& gateway) {
        RedundancyLinkSettings s;
        s.enabled = true;
        s.port = port_;
        s.alternateServer = server;
        s.alternateGateway = gateway;
        return s;
    }
    std::uint16_t port_ = FreePort();
};

TEST_F(RedundancyLinkTest, PacketsFromThePeerAreAppliedInOrderHoweverTheyArrive) {
    LinkSide side(Settings("127.0.0.1", ""));
    side.Start();
    ASSERT_TRUE(WaitUntil([&] { return side.Listening(); }, 10s));

    const Bytes time = Frame(EncodeTimeSync(LocalTime{2024, 3, 5, 14, 7, 9, 456}));
    Bytes joined = Ack("Dev1.Grp.T1", 0x0000000100000002ull);
    joined.insert(joined.end(), time.begin(), time.end());
    Bytes invalid = Ack("Dev1.Grp.T2", 5);
    invalid[7] |= 0x80;  // an exception answer is no packet of the link
    const Bytes second = Ack("Dev1.T3", 6);
    // Joined in one write, then an invalid packet and one split inside its header.
    ASSERT_TRUE(SendToListener(port_, {joined}));
    Bytes tail = invalid;
    tail.insert(tail.end(), second.begin(), second.begin() + 3);
    ASSERT_TRUE(SendToListener(port_, {tail, Bytes(second.begin() + 3, second.end())}));

    ASSERT_TRUE(WaitUntil([&] { return side.poster.Count() == 2; }, 10s));
    const BEvent first = side.poster.At(0);
    EXPECT_EQ(first.tag, &side.Tag("Dev1.Grp.T1"));
    EXPECT_EQ(first.acknowledger, "127.0.0.1");
    EXPECT_EQ(first.code, 7);
    EXPECT_EQ(first.active, 1);
    EXPECT_EQ(first.eventTime, 1234567u) << "the condition's active time";
    EXPECT_EQ(first.activeTime, 0u);
    EXPECT_EQ(side.Tag("Dev1.Grp.T1").acknowledgeState, 0);
    EXPECT_EQ(side.Tag("Dev1.Grp.T1").acknowledgeTime, 0x0000000100000002ull);
    EXPECT_EQ(side.poster.At(1).tag, &side.Tag("Dev1.T3"));
    EXPECT_EQ(side.Tag("Dev1.Grp.T2").acknowledgeState, 2) << "invalid packet applied";
    ASSERT_EQ(side.clockSetter.Set().size(), 1u);
    EXPECT_EQ(side.clockSetter.Set()[0], (LocalTime{2024, 3, 5, 14, 7, 9, 456, 0}));
    EXPECT_EQ(side.TraceCountStarting("Redundant communication: Received packet is invalid"), 0u);
    // Nothing is sent back to the peer: the acknowledgement queue stays empty.
    EXPECT_EQ(side.acks.Count(), 0u);
}

TEST_F(RedundancyLinkTest, PacketsOfAPeerBuiltFromTheDocumentedLayoutAreApplied) {
    LinkSide side(Settings("127.0.0.1", ""));
    side.Start();
    ASSERT_TRUE(WaitUntil([&] { return side.Listening(); }, 10s));
    testing::TempDirectory dir;
    const std::string script = std::string(VELK_REDUNDANCY_TEST_DIR) + "/peer_packet.py";
    const std::string port = std::to_string(port_);
    ASSERT_EQ(testing::RunProgram("/usr/bin/python3",
                                  {script, "127.0.0.1", "127.0.0.1", port, "time", "2031", "12",
                                   "31", "23", "59", "58", "987"},
                                  {}, dir.File("time.out")),
              0)
        << testing::ReadFile(dir.File("time.out"));
    ASSERT_EQ(testing::RunProgram("/usr/bin/python3",
                                  {script, "127.0.0.1", "127.0.0.1", port, "ack", "Dev1.T3",
                                   std::to_string(0x0123456789ABCDEFull)},
                                  {}, dir.File("ack.out")),
              0)
        << testing::ReadFile(dir.File("ack.out"));
    ASSERT_TRUE(WaitUntil([&] { return side.poster.Count() == 1; }, 10s));
    EXPECT_EQ(side.Tag("Dev1.T3").acknowledgeTime, 0x0123456789ABCDEFull);
    ASSERT_EQ(side.clockSetter.Set().size(), 1u);
    EXPECT_EQ(side.clockSetter.Set()[0], (LocalTime{2031, 12, 31, 23, 59, 58, 987, 0}));
}

TEST_F(RedundancyLinkTest, PacketsWaitWhileNoClientIsConnectedAndAreAppliedInOrderLater) {
    LinkSide side(Settings("127.0.0.1", "127.0.0.1"));
    side.clients = false;
    side.clockSetter.allowed = false;
    side.Start();
    ASSERT_TRUE(WaitUntil([&] { return side.Listening(); }, 10s));
    ASSERT_TRUE(SendToListener(port_, {Ack("Dev1.Grp.T1", 1)}));
    ASSERT_TRUE(SendToListener(port_, {Ack("Dev1.Grp.T2", 2)}));
    ASSERT_TRUE(WaitUntil([&] { return side.received.Size() == 2; }, 10s));
    ::usleep(500000);
    EXPECT_EQ(side.poster.Count(), 0u);

    side.clients = true;
    ASSERT_TRUE(SendToListener(
        port_, {Ack("Dev1.T3", 3), Frame(EncodeTimeSync(LocalTime{2024, 1, 2, 3, 4, 5, 6}))}));
    ASSERT_TRUE(WaitUntil([&] { return side.poster.Count() == 3; }, 10s));
    EXPECT_EQ(side.poster.At(0).tag, &side.Tag("Dev1.Grp.T1"));
    EXPECT_EQ(side.poster.At(1).tag, &side.Tag("Dev1.Grp.T2"));
    EXPECT_EQ(side.poster.At(2).tag, &side.Tag("Dev1.T3"));
    ASSERT_TRUE(WaitUntil(
        [&] {
            return side.TraceCount(
                       "Redundant communication: ::SetLocalTime(&st) FAILED on the client side") ==
                   1;
        },
        5s));
}

TEST_F(RedundancyLinkTest, StaleTimePacketsAndUnknownTagsAreNotApplied) {
    LinkSide side(Settings("127.0.0.1", ""));
    side.clients = false;
    side.Start();
    ASSERT_TRUE(WaitUntil([&] { return side.Listening(); }, 10s));
    ASSERT_TRUE(SendToListener(port_, {Frame(EncodeTimeSync(LocalTime{2024, 1, 1}))}));
    ASSERT_TRUE(WaitUntil([&] { return side.received.Size() == 1; }, 10s));
    side.clock.Advance(kStaleTimePacketMs + 1);  // it waited more than one period
    side.clients = true;
    ASSERT_TRUE(SendToListener(port_, {Ack("Dev1.Nothing", 1)}));
    ASSERT_TRUE(WaitUntil(
        [&] {
            return side.TraceCount(
                       "Redundant communication: FN_ACK_ALARM: Invalid tag:Dev1.Nothing") == 1;
        },
        10s));
    EXPECT_TRUE(side.clockSetter.Set().empty());
    EXPECT_EQ(side.TraceCountStarting("Redundant communication: REQ_TIME_SYNC dropped"), 1u);
}

TEST_F(RedundancyLinkTest, OnlyThePeerReachesTheListenerAndOnlyOnTheGatewayAddress) {
    LinkSide side(Settings("127.0.0.9", "127.0.0.1"));
    side.clients = false;  // refusals and the quit do not wait for clients
    side.Start();
    ASSERT_TRUE(WaitUntil([&] { return side.Listening(); }, 10s));
    EXPECT_FALSE(SendToListener(port_, {Ack("Dev1.Grp.T1", 1)}, "127.0.0.2"));
    for (int i = 0; i < 3; ++i) SendToListener(port_, {Ack("Dev1.Grp.T1", 1)});
    ::usleep(500000);
    EXPECT_EQ(side.received.Size(), 0u);
    EXPECT_EQ(side.TraceCount("Redundant communication: connection from 127.0.0.1 refused, it is "
                              "not the redundant server (127.0.0.9)"),
              1u)
        << "one line per address and minute";
    side.Stop();
    EXPECT_EQ(side.TraceCount("RedundantClientThread is finshed"), 1u);
    EXPECT_EQ(side.TraceCount("RedundantListenerThread is finished"), 1u);
}

// ---- connections of the peer that bring nothing, or bring it slowly ----

// A connection of the peer's address to the listener that the test keeps open.
class PeerConnection {
  public:
    explicit PeerConnection(std::uint16_t port) {
        sockets_.OpenConnection(socket_, "127.0.0.1", port);
    }
    ~PeerConnection() { sockets_.CloseSocket(socket_); }
    bool Send(const Bytes& bytes) {
        return sockets_.SendTimed(socket_, bytes.data(), static_cast<int>(bytes.size()), 1000) ==
               static_cast<int>(bytes.size());
    }
    // Whether the listener has closed it (the peer's close, or a reset, is there to take).
    bool Closed() {
        std::uint8_t byte = 0;
        const int r = sockets_.RecvWithin(socket_, &byte, 1, 0);
        return r == 0 || r == -1;
    }

  private:
    PosixTcpSockets sockets_;
    SocketHolder socket_;
};

TEST_F(RedundancyLinkTest, HalfOpenAndTricklingConnectionsOfThePeerHoldUpNoPacket) {
    LinkSide side(Settings("127.0.0.1", ""));
    side.Start();
    ASSERT_TRUE(WaitUntil([&] { return side.Listening(); }, 10s));
    std::vector<std::unique_ptr<PeerConnection>> silent;
    // With the trickling one they take every place the listener has.
    for (std::size_t i = 0; i + 1 < kListenerMaxConnections; ++i)
        silent.push_back(std::make_unique<PeerConnection>(port_));
    PeerConnection trickling(port_);
    std::atomic<bool> stop{false};
    std::thread trickle([&] {
        const Bytes ack = Ack("Dev1.Grp.T2", 2);
        for (std::size_t i = 0; !stop && i + 1 < ack.size(); ++i) {
            trickling.Send({ack[i]});
            std::this_thread::sleep_for(100ms);
        }
    });
    ASSERT_TRUE(SendToListener(port_, {Ack("Dev1.Grp.T1", 1)}));
    EXPECT_TRUE(WaitUntil([&] { return side.poster.Count() == 1; }, 10s));
    stop = true;
    trickle.join();
    ASSERT_EQ(side.poster.Count(), 1u);
    EXPECT_EQ(side.poster.At(0).tag, &side.Tag("Dev1.Grp.T1"));
    // The link's clock has not moved, so none of them was out of time; with every place
    // taken, the oldest made room for the connection that brought the packet.
    EXPECT_TRUE(WaitUntil([&] { return silent[0]->Closed(); }, 10s));
    for (std::size_t i = 1; i < silent.size(); ++i) EXPECT_FALSE(silent[i]->Closed()) << i;
    EXPECT_FALSE(trickling.Closed());
}

TEST_F(RedundancyLinkTest, APacketNotWholeWithinTheWaitCostsItsConnectionHoweverItTrickles) {
    LinkSide side(Settings("127.0.0.1", ""));
    side.Start();
    ASSERT_TRUE(WaitUntil([&] { return side.Listening(); }, 10s));
    PeerConnection silent(port_);
    PeerConnection trickling(port_);
    // A whole packet first: it is applied, so both connections have been taken in.
    ASSERT_TRUE(trickling.Send(Ack("Dev1.Grp.T1", 1)));
    ASSERT_TRUE(WaitUntil([&] { return side.poster.Count() == 1; }, 10s));
    std::atomic<bool> stop{false};
    std::thread trickle([&] {
        Bytes endless = Ack("Dev1.Grp.T2", 2);
        endless[5] = 0xFF;  // a packet of 261 bytes, a byte every 50 ms
        endless.resize(261);
        for (std::size_t i = 0; !stop && i < endless.size(); ++i) {
            trickling.Send({endless[i]});
            std::this_thread::sleep_for(50ms);
        }
    });
    side.clock.Advance(kListenerReceiveWaitMs);
    EXPECT_TRUE(WaitUntil([&] { return silent.Closed() && trickling.Closed(); }, 10s));
    stop = true;
    trickle.join();
    ASSERT_TRUE(SendToListener(port_, {Ack("Dev1.T3", 3)}));  // the listener serves on
    EXPECT_TRUE(WaitUntil([&] { return side.poster.Count() == 2; }, 10s));
}

// The peer's listener, played by the test: accepts connections and keeps what they carry.
class PeerListener {
  public:
    explicit PeerListener(std::uint16_t port) {
        ok_ = sockets_.Listen(listening_, "127.0.0.1", port);
    }
    ~PeerListener() { sockets_.CloseSocket(listening_); }
    bool Ok() const { return ok_; }
    // Every byte of the next connection, until its sender closes; empty when none came.
    Bytes NextConnection() {
        SocketHolder connection;
        if (sockets_.AcceptTimed(listening_, connection) <= 0) return {};
        Bytes bytes;
        std::uint8_t buffer[512];
        int n;
        while ((n = sockets_.RecvTimed(connection, buffer, sizeof buffer, 2000)) > 0)
            bytes.insert(bytes.end(), buffer, buffer + n);
        sockets_.CloseSocket(connection);
        return bytes;
    }

  private:
    PosixTcpSockets sockets_{1000, 3000};
    SocketHolder listening_;
    bool ok_ = false;
};

TEST_F(RedundancyLinkTest, AcknowledgementsTravelToThePeerExceptPathsThatCannot) {
    PeerListener peer(port_);
    ASSERT_TRUE(peer.Ok());
    LinkSide side(Settings("127.0.0.1", ""));
    side.acks.AddAckMessage(std::make_unique<BAckMsg>(11, "Dev1.Grp.T1"));
    side.acks.AddAckMessage(std::make_unique<BAckMsg>(12, "Dev1." + std::string(250, 'x')));
    side.acks.AddAckMessage(std::make_unique<BAckMsg>(13, "Dev1.T3"));
    side.Start();
    Bytes expected = Ack("Dev1.Grp.T1", 11);
    const Bytes third = Ack("Dev1.T3", 13);
    expected.insert(expected.end(), third.begin(), third.end());
    EXPECT_EQ(peer.NextConnection(), expected);
    EXPECT_TRUE(WaitUntil(
        [&] {
            return side.TraceCountStarting(
                       "Redundant communication: FN_ACK_ALARM not sent, the tag path cannot be "
                       "carried to the redundant server: Dev1.xxx") == 1;
        },
        5s));
    EXPECT_EQ(side.acks.Count(), 0u);
}

TEST_F(RedundancyLinkTest, APeerThatIsDownCostsAllWaitingAcknowledgementsAndOneLine) {
    // Its own listener takes another loopback address: nothing listens at the peer's.
    LinkSide side(Settings("127.0.0.1", "127.0.0.5"));
    for (int i = 0; i < 3; ++i)
        side.acks.AddAckMessage(std::make_unique<BAckMsg>(i, "Dev1.Grp.T1"));
    side.Start();
    const std::string line = "The redundant server (127.0.0.1) is not available at connection";
    ASSERT_TRUE(WaitUntil([&] { return side.TraceCount(line) == 1; }, 10s));
    EXPECT_EQ(side.acks.Count(), 0u);
    ::usleep(500000);
    EXPECT_EQ(side.TraceCount(line), 1u);
}

TEST_F(RedundancyLinkTest, TheTimeGoesOutOnlyWhileClientsAreConnected) {
    PeerListener peer(port_);
    ASSERT_TRUE(peer.Ok());
    LinkSide side(Settings("127.0.0.1", ""));
    side.clients = false;
    side.Start();
    side.PostToClient(WM_REDUNDANCY_TIME_SYNC, 1);
    EXPECT_TRUE(peer.NextConnection().empty()) << "sent without clients";

    side.clients = true;
    side.PostToClient(WM_REDUNDANCY_TIME_SYNC, 0);  // ignored: wParam is not 1
    side.PostToClient(WM_REDUNDANCY_TIME_SYNC, 1);
    const Bytes sent = peer.NextConnection();
    EXPECT_EQ(sent, Frame(EncodeTimeSync(side.clock.NowLocal())));
    EXPECT_TRUE(peer.NextConnection().empty()) << "a second packet for wParam 0";
}

}  // namespace
}  // namespace velk
