// The netlink route table against the real kernel, always inside a network namespace of
// its own: each case forks a child that unshares its network namespace, builds a small
// network of veth interfaces there with iproute2, exercises the table and reports what it
// saw on a pipe. The parent checks the report. Nothing leaves the namespace.
#include "platform/linux/netlink_route_table.h"

#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "modbus/host_routes.h"
#include "modbus/ip_address_text.h"

namespace velk {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr int kExitUnsupported = 77;
constexpr int kExitNotFresh = 78;
constexpr int kExitSetupFailed = 79;

std::string IpTool() {
    for (const char* path : {"/usr/sbin/ip", "/sbin/ip", "/usr/bin/ip", "/bin/ip"}) {
        if (::access(path, X_OK) == 0) return path;
    }
    return {};
}

// Runs an iproute2 command in the child's namespace and returns its output.
std::string Ip(const std::string& arguments) {
    const std::string command = IpTool() + " " + arguments + " 2>&1";
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char chunk[512];
        std::size_t got = 0;
        while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) output.append(chunk, got);
        ::pclose(pipe);
    }
    while (!output.empty() && (output.back() == '\n' || output.back() == ' ')) output.pop_back();
    return output;
}

bool IpOk(const std::string& arguments) {
    return std::system((IpTool() + " " + arguments + " >/dev/null 2>&1").c_str()) == 0;
}

// A namespace that holds nothing but its loopback device.
bool IsFreshNamespace() {
    struct if_nameindex* names = ::if_nameindex();
    if (names == nullptr) return false;
    bool fresh = true;
    for (const struct if_nameindex* name = names; name->if_index != 0; ++name) {
        if (std::strcmp(name->if_name, "lo") != 0) fresh = false;
    }
    ::if_freenameindex(names);
    return fresh;
}

// Two adapters on a veth pair: vlk0 with 10.77.0.1/24 and 10.77.0.9/24, vlk1 with
// 10.88.0.1/24. Empty on success, else the command that failed and what it said.
std::string BuildNetwork() {
    for (const char* command :
         {"link set lo up", "link add vlk0 type veth peer name vlk1",
          "addr add 10.77.0.1/24 dev vlk0", "addr add 10.77.0.9/24 dev vlk0",
          "addr add 10.88.0.1/24 dev vlk1", "link set vlk0 up", "link set vlk1 up"}) {
        if (!IpOk(command)) return std::string("ip ") + command + ": " + Ip(command);
    }
    // A veth end reports its carrier a moment after it is set up; until then the kernel
    // flags the subnet routes "linkdown". Wait for both ends, within two seconds.
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (Ip("-o link show vlk0").find("LOWER_UP") != std::string::npos &&
            Ip("-o link show vlk1").find("LOWER_UP") != std::string::npos) {
            return {};
        }
        ::usleep(10000);
    }
    return "the veth pair reports no carrier";
}

struct ChildReport {
    int exitCode = -1;
    std::vector<std::string> lines;
    std::string text;
};

// Forks a child that enters a network namespace of its own, builds the network and runs
// body, whose lines come back in the report. The child never runs body outside a fresh
// namespace.
ChildReport RunInOwnNetworkNamespace(const std::function<void(std::ostream&)>& body) {
    ChildReport report;
    int channel[2];
    if (::pipe(channel) != 0) return report;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        std::ostringstream out;
        int code = 0;
        if (::unshare(CLONE_NEWNET) != 0) {
            out << "unshare(CLONE_NEWNET): " << std::strerror(errno) << '\n';
            code = kExitUnsupported;
        } else if (!IsFreshNamespace()) {
            out << "the new namespace is not empty\n";
            code = kExitNotFresh;
        } else if (const std::string failed = BuildNetwork(); !failed.empty()) {
            out << failed << '\n';
            // A kernel without veth cannot host these cases; any other step must work.
            code =
                failed.find("type veth") != std::string::npos ? kExitUnsupported : kExitSetupFailed;
        } else {
            body(out);
        }
        const std::string text = out.str();
        std::size_t written = 0;
        while (written < text.size()) {
            const ssize_t n = ::write(channel[1], text.data() + written, text.size() - written);
            if (n <= 0) break;
            written += static_cast<std::size_t>(n);
        }
        ::_exit(code);
    }
    ::close(channel[1]);
    if (child < 0) {
        ::close(channel[0]);
        return report;
    }
    char chunk[1024];
    ssize_t got = 0;
    while ((got = ::read(channel[0], chunk, sizeof chunk)) > 0) report.text.append(chunk, got);
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    report.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::istringstream lines(report.text);
    for (std::string line; std::getline(lines, line);) report.lines.push_back(line);
    return report;
}

std::uint32_t Addr(const char* text) { return DottedToAddress(text); }

std::string Describe(const PlatformRoute& route) {
    return AddressToDotted(route.destination) + "/" + AddressToDotted(route.mask) + " via " +
           AddressToDotted(route.nextHop) + " if " + std::to_string(route.interfaceIndex);
}

// The listed routes to destination, described, in table order.
std::vector<std::string> RoutesTo(NetlinkRouteTable& table, const char* destination) {
    std::vector<PlatformRoute> routes;
    std::vector<std::string> described;
    if (!table.Routes(routes)) return {"dump failed"};
    for (const PlatformRoute& route : routes) {
        if (route.destination == Addr(destination)) described.push_back(Describe(route));
    }
    return described;
}

class NetlinkRouteTableTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (IpTool().empty()) GTEST_SKIP() << "iproute2 (ip) is not installed";
    }

    ChildReport Run(const std::function<void(std::ostream&)>& body) {
        return RunInOwnNetworkNamespace(body);
    }
};

// Runs the lambda given in the namespace; skips the case where namespaces are refused.
#define RUN_IN_NAMESPACE(report, ...)                                                     \
    const ChildReport report = Run(__VA_ARGS__);                                          \
    if (report.exitCode == kExitUnsupported) {                                            \
        GTEST_SKIP() << "no namespace with a veth pair of our own here: " << report.text; \
    }                                                                                     \
    ASSERT_EQ(report.exitCode, 0) << report.text

TEST_F(NetlinkRouteTableTest, ListsEveryAdapterByIndexWithTypeNameAndAddresses) {
    RUN_IN_NAMESPACE(report, [](std::ostream& out) {
        NetlinkRouteTable table;
        std::vector<PlatformAdapter> adapters;
        out << "query " << table.Adapters(adapters) << '\n';
        out << "indexes " << if_nametoindex("lo") << ' ' << if_nametoindex("vlk0") << ' '
            << if_nametoindex("vlk1") << '\n';
        for (const PlatformAdapter& adapter : adapters) {
            out << adapter.interfaceIndex << ' ' << adapter.friendlyName << " type "
                << adapter.interfaceType << " [" << adapter.description << "]";
            for (const PlatformAddress& address : adapter.addresses) {
                out << ' ' << AddressToDotted(address.address) << '/'
                    << AddressToDotted(address.mask);
            }
            out << '\n';
        }
    });
    ASSERT_GE(report.lines.size(), 2u) << report.text;
    EXPECT_EQ(report.lines[0], "query 1");
    unsigned lo = 0, vlk0 = 0, vlk1 = 0;
    std::istringstream(report.lines[1].substr(8)) >> lo >> vlk0 >> vlk1;
    ASSERT_TRUE(lo != 0 && vlk0 != 0 && vlk1 != 0) << report.lines[1];
    std::vector<std::pair<unsigned, std::string>> expected = {
        {lo, std::to_string(lo) + " lo type 24 [Loopback adapter] 127.0.0.1/255.0.0.0"},
        {vlk0, std::to_string(vlk0) +
                   " vlk0 type 6 [Ethernet adapter (veth)] 10.77.0.1/255.255.255.0 "
                   "10.77.0.9/255.255.255.0"},
        {vlk1,
         std::to_string(vlk1) + " vlk1 type 6 [Ethernet adapter (veth)] 10.88.0.1/255.255.255.0"}};
    std::sort(expected.begin(), expected.end());  // the list is ordered by index
    std::vector<std::string> expectedLines = {report.lines[0], report.lines[1]};
    for (const auto& entry : expected) expectedLines.push_back(entry.second);
    EXPECT_EQ(report.lines, expectedLines) << report.text;
}

TEST_F(NetlinkRouteTableTest, RouteThroughAnOwnAddressIsLaidOnLinkListedAndDeleted) {
    RUN_IN_NAMESPACE(report, [](std::ostream& out) {
        NetlinkRouteTable table;
        const std::uint32_t vlk0 = if_nametoindex("vlk0");
        const PlatformRoute route{Addr("10.99.0.5"), 0xFFFFFFFFu, Addr("10.77.0.9"), vlk0};
        out << "add " << table.AddRoute(route) << '\n';
        out << "show " << Ip("-4 route show table main 10.99.0.5/32") << '\n';
        out << "get " << Ip("-o -4 route get 10.99.0.5") << '\n';
        for (const std::string& line : RoutesTo(table, "10.99.0.5")) out << "list " << line << '\n';
        out << "again " << table.AddRoute(route) << '\n';
        out << "delete " << table.DeleteRoute(route) << '\n';
        out << "after [" << Ip("-4 route show table main 10.99.0.5/32") << "]\n";
        out << "delete again " << table.DeleteRoute(route) << '\n';
        out << "vlk0 " << vlk0 << '\n';
    });
    const std::string vlk0 = report.lines.empty() ? "" : report.lines.back().substr(5);
    EXPECT_THAT(
        report.lines,
        ElementsAre("add 0", "show 10.99.0.5 dev vlk0 proto static scope link src 10.77.0.9",
                    HasSubstr("get 10.99.0.5 dev vlk0 src 10.77.0.9"),
                    "list 10.99.0.5/255.255.255.255 via 10.77.0.9 if " + vlk0, "again 5010",
                    "delete 0", "after []", "delete again 1168", "vlk0 " + vlk0))
        << report.text;
}

TEST_F(NetlinkRouteTableTest, RouteThroughARouterOnTheSubnetGoesViaIt) {
    RUN_IN_NAMESPACE(report, [](std::ostream& out) {
        NetlinkRouteTable table;
        const PlatformRoute route{Addr("10.99.0.6"), 0xFFFFFFFFu, Addr("10.77.0.200"), 0};
        out << "add " << table.AddRoute(route) << '\n';
        out << "show " << Ip("-4 route show table main 10.99.0.6/32") << '\n';
        const std::vector<std::string> listed = RoutesTo(table, "10.99.0.6");
        out << "list " << (listed.empty() ? "none" : listed[0]) << '\n';
        out << "delete " << table.DeleteRoute(route) << '\n';
        out << "after [" << Ip("-4 route show table main 10.99.0.6/32") << "]\n";
        out << "vlk0 " << if_nametoindex("vlk0") << '\n';
    });
    const std::string vlk0 = report.lines.empty() ? "" : report.lines.back().substr(5);
    EXPECT_THAT(report.lines,
                ElementsAre("add 0", "show 10.99.0.6 via 10.77.0.200 dev vlk0 proto static",
                            "list 10.99.0.6/255.255.255.255 via 10.77.0.200 if " + vlk0, "delete 0",
                            "after []", "vlk0 " + vlk0))
        << report.text;
}

TEST_F(NetlinkRouteTableTest, KernelRefusalsBecomeInvalidParameter) {
    RUN_IN_NAMESPACE(report, [](std::ostream& out) {
        NetlinkRouteTable table;
        // A next hop on no attached network, an interface that does not exist, a device
        // that is down, a mask with holes, neither next hop nor interface.
        out << table.AddRoute({Addr("10.99.0.7"), 0xFFFFFFFFu, Addr("10.55.0.1"), 0}) << '\n';
        out << table.AddRoute({Addr("10.99.0.7"), 0xFFFFFFFFu, Addr("10.77.0.200"), 999}) << '\n';
        IpOk("link set vlk1 down");
        out << table.AddRoute(
                   {Addr("10.99.0.7"), 0xFFFFFFFFu, Addr("10.77.0.200"), if_nametoindex("vlk1")})
            << '\n';
        out << table.AddRoute({Addr("10.99.0.7"), Addr("255.0.255.255"), Addr("10.77.0.9"), 0})
            << '\n';
        out << table.AddRoute({Addr("10.99.0.7"), 0xFFFFFFFFu, 0, 0}) << '\n';
        out << "table [" << Ip("-4 route show table main 10.99.0.7/32") << "]\n";
    });
    EXPECT_THAT(report.lines, ElementsAre("87", "87", "87", "87", "87", "table []")) << report.text;
}

TEST_F(NetlinkRouteTableTest, NewestRouteToADestinationComesFirstAndIsDeletedFirst) {
    RUN_IN_NAMESPACE(report, [](std::ostream& out) {
        NetlinkRouteTable table;
        // Another program's route first, then ours through the other adapter.
        IpOk("route add 10.99.0.8/32 via 10.88.0.200 proto boot");
        out << "add " << AddHostRoute(table, Addr("10.99.0.8"), Addr("10.77.0.9")) << '\n';
        for (const std::string& line : RoutesTo(table, "10.99.0.8")) out << "list " << line << '\n';
        out << "get " << Ip("-o -4 route get 10.99.0.8") << '\n';
        out << "delete " << DeleteHostRoute(table, Addr("10.99.0.8"), Addr("10.77.0.9")) << '\n';
        out << "left " << Ip("-4 route show table main 10.99.0.8/32") << '\n';
        out << "indexes " << if_nametoindex("vlk0") << ' ' << if_nametoindex("vlk1") << '\n';
    });
    ASSERT_FALSE(report.lines.empty());
    std::string vlk0, vlk1;
    std::istringstream(report.lines.back().substr(8)) >> vlk0 >> vlk1;
    EXPECT_THAT(report.lines,
                ElementsAre("add 0", "list 10.99.0.8/255.255.255.255 via 10.77.0.9 if " + vlk0,
                            "list 10.99.0.8/255.255.255.255 via 10.88.0.200 if " + vlk1,
                            HasSubstr("get 10.99.0.8 dev vlk0 src 10.77.0.9"), "delete 0",
                            "left 10.99.0.8 via 10.88.0.200 dev vlk1", report.lines.back()))
        << report.text;
}

TEST_F(NetlinkRouteTableTest, MultipathRouteIsListedByItsFirstHopAndDeletedWhole) {
    RUN_IN_NAMESPACE(report, [](std::ostream& out) {
        NetlinkRouteTable table;
        IpOk("route add 10.99.0.10/32 nexthop via 10.77.0.200 nexthop via 10.88.0.200");
        for (const std::string& line : RoutesTo(table, "10.99.0.10"))
            out << "list " << line << '\n';
        out << "delete " << DeleteHostRoute(table, Addr("10.99.0.10"), Addr("10.77.0.9")) << " ["
            << Ip("-4 route show table main 10.99.0.10/32") << "]\n";
        out << "vlk0 " << if_nametoindex("vlk0") << '\n';
    });
    const std::string vlk0 = report.lines.empty() ? "" : report.lines.back().substr(5);
    EXPECT_THAT(report.lines,
                ElementsAre("list 10.99.0.10/255.255.255.255 via 10.77.0.200 if " + vlk0,
                            "delete 0 []", "vlk0 " + vlk0))
        << report.text;
}

TEST_F(NetlinkRouteTableTest, HostRoutesFollowTheGatewayAcrossReconnects) {
    RUN_IN_NAMESPACE(report, [](std::ostream& out) {
        NetlinkRouteTable table;
        const std::uint32_t controller = Addr("10.99.0.9");
        for (const char* gateway : {"10.77.0.9", "10.88.0.1", "10.88.0.1"}) {
            const std::uint32_t removed = DeleteHostRoute(table, controller, Addr(gateway));
            const std::uint32_t laid = AddHostRoute(table, controller, Addr(gateway));
            out << removed << ' ' << laid << ' ' << Ip("-4 route show table main 10.99.0.9/32")
                << '\n';
        }
        out << "close " << DeleteHostRoute(table, controller, Addr("10.88.0.1")) << " ["
            << Ip("-4 route show table main 10.99.0.9/32") << "]\n";
        // A gateway that is no adapter's and on no attached network.
        out << "foreign " << AddHostRoute(table, controller, Addr("10.55.0.1")) << '\n';
        out << "unset " << AddHostRoute(table, controller, Addr("0.0.0.0")) << ' '
            << DeleteHostRoute(table, controller, Addr("")) << '\n';
    });
    EXPECT_THAT(report.lines,
                ElementsAre("1168 0 10.99.0.9 dev vlk0 proto static scope link src 10.77.0.9",
                            "0 0 10.99.0.9 dev vlk1 proto static scope link src 10.88.0.1",
                            "0 0 10.99.0.9 dev vlk1 proto static scope link src 10.88.0.1",
                            "close 0 []", "foreign 87", "unset 0 0"))
        << report.text;
}

TEST_F(NetlinkRouteTableTest, ListsTheMainTableOnlyAndLeavesNetworkRoutesAlone) {
    RUN_IN_NAMESPACE(report, [](std::ostream& out) {
        NetlinkRouteTable table;
        std::vector<PlatformRoute> routes;
        out << "query " << table.Routes(routes) << '\n';
        for (const PlatformRoute& route : routes) out << Describe(route) << '\n';
        out << "delete " << DeleteHostRoute(table, Addr("10.77.0.0"), Addr("10.77.0.9")) << '\n';
        out << "kept " << Ip("-4 route show table main 10.77.0.0/24") << '\n';
        out << "indexes " << if_nametoindex("vlk0") << ' ' << if_nametoindex("vlk1") << '\n';
    });
    ASSERT_FALSE(report.lines.empty());
    std::string vlk0, vlk1;
    std::istringstream(report.lines.back().substr(8)) >> vlk0 >> vlk1;
    // The subnet routes leave through their adapter from its primary address; the local
    // table (own addresses, broadcasts) is not listed.
    EXPECT_THAT(report.lines,
                ElementsAre("query 1", "10.77.0.0/255.255.255.0 via 10.77.0.1 if " + vlk0,
                            "10.88.0.0/255.255.255.0 via 10.88.0.1 if " + vlk1, "delete 1168",
                            "kept 10.77.0.0/24 dev vlk0 proto kernel scope link src 10.77.0.1",
                            report.lines.back()))
        << report.text;
}

TEST(RouteResultTest, KernelErrorsMapToTheResultCodesCallersKnow) {
    EXPECT_EQ(RouteResultFromErrno(0, false), kRouteOk);
    for (int error : {EINVAL, ENETUNREACH, EHOSTUNREACH, ENETDOWN, ENODEV, ERANGE}) {
        EXPECT_EQ(RouteResultFromErrno(error, false), kRouteInvalidParameter) << error;
        EXPECT_EQ(RouteResultFromErrno(error, true), kRouteInvalidParameter) << error;
    }
    for (int error : {EAFNOSUPPORT, EOPNOTSUPP, EPROTONOSUPPORT}) {
        EXPECT_EQ(RouteResultFromErrno(error, false), kRouteNotSupported) << error;
    }
    EXPECT_EQ(RouteResultFromErrno(ESRCH, true), kRouteNotFound);
    EXPECT_EQ(RouteResultFromErrno(ENOENT, true), kRouteNotFound);
    EXPECT_EQ(RouteResultFromErrno(ESRCH, false), static_cast<std::uint32_t>(ESRCH));
    EXPECT_EQ(RouteResultFromErrno(EEXIST, false), kRouteAlreadyExists);
    EXPECT_EQ(RouteResultFromErrno(EPERM, false), kRouteAccessDenied);
    EXPECT_EQ(RouteResultFromErrno(ENOBUFS, false), static_cast<std::uint32_t>(ENOBUFS));
}

TEST(RouteResultTest, HardwareTypesMapToInterfaceTypes) {
    EXPECT_EQ(InterfaceTypeFromHardwareType(ARPHRD_ETHER, false), 6u);
    EXPECT_EQ(InterfaceTypeFromHardwareType(ARPHRD_ETHER, true), 71u);
    EXPECT_EQ(InterfaceTypeFromHardwareType(ARPHRD_LOOPBACK, false), 24u);
    EXPECT_EQ(InterfaceTypeFromHardwareType(ARPHRD_NONE, false), 131u);  // tun
    EXPECT_EQ(InterfaceTypeFromHardwareType(ARPHRD_SIT, false), 131u);
    EXPECT_EQ(InterfaceTypeFromHardwareType(ARPHRD_PPP, false), 23u);
    EXPECT_EQ(InterfaceTypeFromHardwareType(ARPHRD_INFINIBAND, false), 199u);
    EXPECT_EQ(InterfaceTypeFromHardwareType(ARPHRD_CAN, false), 1u);
}

}  // namespace
}  // namespace velk
