// Two real servers as a redundant pair, each in a network namespace of its own joined by a
// veth pair (10.213.0.1 for A, the synchronisation master, and 10.213.0.2 for B), each with
// its private bus, settings store, controller simulator and AE client. Both run without the
// right to set the clock (CAP_SYS_TIME dropped), so this machine's clock is never touched:
// B's attempt to follow A's time must fail and say so. A third address on A's side plays a
// stranger, and a python sender that knows only the documented packet layout plays a peer.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/text.h"
#include "tests/platform/dbus/private_bus.h"
#include "tests/support/child_process.h"
#include "tests/support/plcsim_process.h"
#include "tests/support/server_store_text.h"

namespace velk::testing {
namespace {

using namespace std::chrono_literals;

constexpr const char* kPython = "/usr/bin/python3";
constexpr const char* kSetpriv = "/usr/bin/setpriv";
constexpr const char* kAddressA = "10.213.0.1";
constexpr const char* kAddressB = "10.213.0.2";
constexpr const char* kStranger = "10.213.0.3";
constexpr int kLinkPort = 8201;
constexpr int kCapSysTime = 25;

std::string IpTool() {
    for (const char* path : {"/usr/sbin/ip", "/sbin/ip", "/usr/bin/ip", "/bin/ip"})
        if (::access(path, X_OK) == 0) return path;
    return {};
}

// A network namespace held open by a child that does nothing else.
class NetworkNamespace {
  public:
    NetworkNamespace() {
        int ready[2];
        if (::pipe(ready) != 0) return;
        holder_ = ::fork();
        if (holder_ == 0) {
            ::close(ready[0]);
            const char answer = ::unshare(CLONE_NEWNET) == 0 ? 'y' : 'n';
            if (::write(ready[1], &answer, 1) != 1) ::_exit(1);
            for (;;) ::pause();
        }
        ::close(ready[1]);
        char answer = 'n';
        if (holder_ > 0 && ::read(ready[0], &answer, 1) == 1 && answer == 'y')
            fd_ = ::open(("/proc/" + std::to_string(holder_) + "/ns/net").c_str(), O_RDONLY);
        ::close(ready[0]);
    }
    ~NetworkNamespace() {
        if (fd_ >= 0) ::close(fd_);
        if (holder_ > 0) {
            ::kill(holder_, SIGKILL);
            ::waitpid(holder_, nullptr, 0);
        }
    }
    bool Ok() const { return fd_ >= 0; }
    int Fd() const { return fd_; }
    pid_t Holder() const { return holder_; }

  private:
    pid_t holder_ = -1;
    int fd_ = -1;
};

// While it lives, this thread (and whatever it starts) is in the namespace.
class Inside {
  public:
    explicit Inside(const NetworkNamespace& ns)
        : home_(::open("/proc/thread-self/ns/net", O_RDONLY)) {
        entered_ = home_ >= 0 && ::setns(ns.Fd(), CLONE_NEWNET) == 0;
    }
    ~Inside() {
        if (entered_) ::setns(home_, CLONE_NEWNET);
        if (home_ >= 0) ::close(home_);
    }
    bool Entered() const { return entered_; }

  private:
    int home_;
    bool entered_ = false;
};

bool Ip(const std::string& arguments) {
    return std::system((IpTool() + " " + arguments + " >/dev/null 2>&1").c_str()) == 0;
}

int Occurrences(const std::string& text, const std::string& what) {
    int count = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
    return count;
}

// One server of the pair with its simulator, bus and AE client.
struct Server {
    std::string name;
    std::string address;
    std::string peer;
    bool syncMaster = false;
    TempDirectory dir;
    velk::test::PlcsimProcess sim;
    PrivateBus bus;
    ChildProcess process;
    ChildProcess events;

    std::string Trace() const { return Utf16LeBytesToUtf8(ReadFile(dir.File("trace.txt"))); }
    int TraceCount(const std::string& text) const { return Occurrences(Trace(), text); }
    std::string Events() const { return ReadFile(dir.File("events.out")); }
    int EventCount(const std::string& text) const { return Occurrences(Events(), text); }
    int Client(std::vector<std::string> args, const std::string& output) {
        args.insert(args.begin(), {"--address", bus.Address()});
        return RunProgram(VELKOPC_CLIENT_BINARY, args, {}, dir.File(output), 60s);
    }

    std::string Settings() const {
        ServerStoreText store;
        store.traceFile = dir.File("trace.txt");
        store.recentFile = dir.File("plant.vlk");
        store.tcpPorts = {{"127.0.0.2", sim.TcpPort(1)}, {"127.0.0.3", sim.TcpPort(2)}};
        char port[16];
        std::snprintf(port, sizeof port, "%08x", kLinkPort);
        return store.Text() +
               "\r\n[HKEY_LOCAL_MACHINE\\Software\\VELK\\VELK A&E OPC Server\\Redundancy]\r\n"
               "\"Enabled\"=dword:00000001\r\n\"SyncMaster\"=dword:0000000" +
               (syncMaster ? "1" : "0") + "\r\n\"Port\"=dword:" + port +
               "\r\n\"AlternateServer\"=\"" + peer + "\"\r\n\"AlternateGateway\"=\"" + address +
               "\"\r\n";
    }
    std::vector<std::string> Environment() const {
        return {"VELKOPC_SETTINGS=" + dir.File("settings.reg"),
                "VELKOPC_USER_SETTINGS=" + dir.File("user.reg"),
                "VELKOPC_DBUS_SERVICES_DIR=" + dir.File("services"),
                "VELKOPC_INSTANCE_NAME=velk-pair-" + std::to_string(::getpid()) + "-" + name,
                "DBUS_SESSION_BUS_ADDRESS=" + bus.Address()};
    }
    // Whether the running server may set the clock.
    bool MaySetClock() const {
        std::ifstream status("/proc/" + std::to_string(process.Pid()) + "/status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("CapEff:", 0) != 0) continue;
            const unsigned long long caps = std::stoull(line.substr(7), nullptr, 16);
            return (caps >> kCapSysTime) & 1u;
        }
        return true;  // unknown: assume the worst
    }
};

class RedundancyPairProcessTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "network namespaces need root";
        if (IpTool().empty()) GTEST_SKIP() << "iproute2 (ip) is not installed";
        if (::access(kSetpriv, X_OK) != 0) GTEST_SKIP() << "setpriv (util-linux) is not installed";
        nsA_ = std::make_unique<NetworkNamespace>();
        nsB_ = std::make_unique<NetworkNamespace>();
        if (!nsA_->Ok() || !nsB_->Ok()) GTEST_SKIP() << "cannot create network namespaces";
        {
            Inside inA(*nsA_);
            ASSERT_TRUE(inA.Entered());
            if (!Ip("link add vpa type veth peer name vpb netns " + std::to_string(nsB_->Holder())))
                GTEST_SKIP() << "this kernel offers no veth pairs";
            ASSERT_TRUE(
                Ip("link set lo up") && Ip(std::string("addr add ") + kAddressA + "/24 dev vpa") &&
                Ip(std::string("addr add ") + kStranger + "/24 dev vpa") && Ip("link set vpa up"));
        }
        {
            Inside inB(*nsB_);
            ASSERT_TRUE(inB.Entered());
            ASSERT_TRUE(Ip("link set lo up") &&
                        Ip(std::string("addr add ") + kAddressB + "/24 dev vpb") &&
                        Ip("link set vpb up"));
        }
        a_.name = "A", a_.address = kAddressA, a_.peer = kAddressB, a_.syncMaster = true;
        b_.name = "B", b_.address = kAddressB, b_.peer = kAddressA;
        StartServer(a_, *nsA_);
        StartServer(b_, *nsB_);
    }
    void TearDown() override {
        for (Server* s : {&a_, &b_}) {
            if (s->events.Running()) s->events.Signal(SIGTERM), s->events.Wait(10s);
            if (s->process.Running()) s->process.Signal(SIGTERM), s->process.Wait(15s);
            s->sim.Stop();
        }
    }

    void StartServer(Server& s, const NetworkNamespace& ns) {
        Inside inside(ns);
        ASSERT_TRUE(inside.Entered());
        std::string error;
        ASSERT_TRUE(s.sim.Start({"--tcp", "127.0.0.2:0", "--tcp", "127.0.0.3:0", "--holding",
                                 "0=500", "--holding", "2=100"},
                                error))
            << error;
        ASSERT_EQ(RunProgram(kPython,
                             {std::string(VELK_AE_BUS_TEST_DIR) + "/bus_ae_make_config.py",
                              s.dir.File("plant.vlk")},
                             {}, s.dir.File("config.out")),
                  0)
            << ReadFile(s.dir.File("config.out"));
        std::ofstream(s.dir.File("settings.reg"), std::ios::binary) << s.Settings();
        ASSERT_TRUE(s.bus.Start()) << s.bus.Problem();
        // Without the right to set the clock, whatever the peer sends.
        ASSERT_TRUE(s.process.Start(
            kSetpriv, {"--inh-caps=-sys_time", "--bounding-set=-sys_time", VELKOPC_BINARY},
            s.Environment(), s.dir.File("server.out")));
        ASSERT_TRUE(
            WaitUntil([&] { return s.TraceCount("Redundant thread listen on 8201") == 1; }, 30s))
            << s.Trace() << ReadFile(s.dir.File("server.out"));
        ASSERT_FALSE(s.MaySetClock()) << "the server could set this machine's clock";
    }

    void StartEvents(Server& s) {
        ASSERT_TRUE(s.events.Start(VELKOPC_CLIENT_BINARY, {"--address", s.bus.Address(), "events"},
                                   {}, s.dir.File("events.out")));
        ASSERT_TRUE(WaitUntil([&] { return s.EventCount("subscribed") > 0; }, 20s)) << s.Events();
    }

    // The python peer, sending from an address of A's namespace.
    int SendFrom(const std::string& source, std::vector<std::string> packet) {
        Inside inA(*nsA_);
        std::vector<std::string> args{std::string(VELK_REDUNDANCY_TEST_DIR) + "/peer_packet.py",
                                      source, kAddressB, std::to_string(kLinkPort)};
        args.insert(args.end(), packet.begin(), packet.end());
        return RunProgram(kPython, args, {}, a_.dir.File("peer.out"));
    }

    std::unique_ptr<NetworkNamespace> nsA_, nsB_;
    Server a_, b_;
};

TEST_F(RedundancyPairProcessTest,
       AcknowledgementsCrossBothWaysTheMasterSetsTheTimeAndAPeerLossIsSurvived) {
    StartEvents(a_);
    StartEvents(b_);
    for (Server* s : {&a_, &b_}) {
        s->sim.Command("set coil 0 1");
        s->sim.Command("set holding 0 950");
    }
    const std::string level = "Plc1.Level  Analog Level/HiHi";
    const std::string pump = "Plc1.Pump  Discrete On/Set";
    for (Server* s : {&a_, &b_})
        ASSERT_TRUE(
            WaitUntil([&] { return s->EventCount(level) > 0 && s->EventCount(pump) > 0; }, 30s))
            << s->name << ": " << s->Events();

    // A to B: B's AE client sees the acknowledgement with A's address, and B's own state.
    ASSERT_EQ(a_.Client({"ack", "Plc1.Level", "Analog Level", "--actor", "tester"}, "ack.out"), 0)
        << ReadFile(a_.dir.File("ack.out"));
    const std::string byA = "acknowledged by \"" + std::string(kAddressA) + "\"";
    ASSERT_TRUE(WaitUntil([&] { return b_.EventCount(byA) == 1; }, 20s))
        << b_.Events() << b_.Trace();
    const std::string events = b_.Events();
    const std::size_t at = events.find(byA);
    const std::size_t line = events.rfind('\n', at) + 1;
    EXPECT_NE(events.substr(line, at - line).find("Plc1.Level  Analog Level"), std::string::npos)
        << events;
    ASSERT_EQ(b_.Client({"refresh"}, "refresh.out"), 0);
    EXPECT_NE(
        ReadFile(b_.dir.File("refresh.out"))
            .find(level + "  severity 900  \"Tank level level very high\"  active,acked,enabled"),
        std::string::npos)
        << ReadFile(b_.dir.File("refresh.out"));

    // B to A.
    ASSERT_EQ(b_.Client({"ack", "Plc1.Pump", "Discrete On"}, "ack.out"), 0)
        << ReadFile(b_.dir.File("ack.out"));
    const std::string byB = "acknowledged by \"" + std::string(kAddressB) + "\"";
    ASSERT_TRUE(WaitUntil([&] { return a_.EventCount(byB) == 1; }, 20s))
        << a_.Events() << a_.Trace();
    EXPECT_EQ(a_.EventCount(byA), 0) << "an acknowledgement came back to its origin";

    // A peer written from the documented layout alone is understood; a stranger is not.
    ASSERT_EQ(SendFrom(kAddressA, {"ack", "Plc1.Pump"}), 0) << ReadFile(a_.dir.File("peer.out"));
    ASSERT_TRUE(WaitUntil([&] { return b_.EventCount(byA) == 2; }, 20s))
        << b_.Events() << b_.Trace();
    SendFrom(kStranger, {"ack", "Plc1.Level"});
    SendFrom(kStranger, {"time", "2030", "1", "1", "0", "0", "0", "0"});
    ASSERT_TRUE(WaitUntil(
        [&] {
            return b_.TraceCount("connection from " + std::string(kStranger) + " refused") == 1;
        },
        20s))
        << b_.Trace();
    ::usleep(1'000'000);
    EXPECT_EQ(b_.EventCount(byA), 2);

    // The master's time reaches B every 15 s; B may not set the clock and says so.
    EXPECT_TRUE(WaitUntil(
        [&] {
            return b_.TraceCount(
                       "Redundant communication: ::SetLocalTime(&st) FAILED on the client side") >
                   0;
        },
        40s))
        << b_.Trace();

    // B goes down: A drops the acknowledgement with its line and keeps serving its clients.
    b_.process.Signal(SIGKILL);
    b_.process.Wait(10s);
    ASSERT_EQ(a_.Client({"ack", "Plc1.Level", "Analog Level"}, "ack2.out"), 0)
        << ReadFile(a_.dir.File("ack2.out"));
    EXPECT_TRUE(WaitUntil(
        [&] {
            return a_.TraceCount("The redundant server (" + std::string(kAddressB) +
                                 ") is not available at connection") == 1;
        },
        20s))
        << a_.Trace();
    EXPECT_TRUE(a_.events.Running());
    EXPECT_EQ(a_.Client({"status"}, "status.out"), 0) << ReadFile(a_.dir.File("status.out"));
    EXPECT_TRUE(a_.process.Running());
}

}  // namespace
}  // namespace velk::testing
