#include "modbus/host_routes.h"

#include <gtest/gtest.h>

#include "modbus/ip_address_text.h"
#include "tests/modbus/route_trace_capture.h"
#include "tests/support/fake_route_table.h"

namespace velk {
namespace {

using testing::FakeRouteTable;
using testing::RouteTraceCapture;

std::uint32_t Ip(const char* text) { return DottedToAddress(text); }

PlatformRoute Route(const char* destination, const char* mask, const char* nextHop,
                    std::uint32_t interfaceIndex) {
    return PlatformRoute{Ip(destination), Ip(mask), Ip(nextHop), interfaceIndex};
}

class HostRoutesTest : public ::testing::Test {
  protected:
    HostRoutesTest() {
        table.AddAdapter(3, "LAN1", {{Ip("192.168.10.5"), Ip("255.255.255.0")}});
        table.AddAdapter(
            7, "LAN2", {{Ip("10.1.0.9"), Ip("255.255.0.0")}, {Ip("10.2.0.9"), Ip("255.255.0.0")}});
    }
    FakeRouteTable table;
    RouteTraceCapture trace;
};

TEST_F(HostRoutesTest, AddLaysHostRouteOnTheAdapterOwningTheGateway) {
    EXPECT_EQ(AddHostRoute(table, Ip("172.16.4.20"), Ip("10.2.0.9")), kRouteOk);
    ASSERT_EQ(table.added.size(), 1u);
    const PlatformRoute& route = table.added[0];
    EXPECT_EQ(route.destination, Ip("172.16.4.20"));
    EXPECT_EQ(route.mask, 0xFFFFFFFFu);
    EXPECT_EQ(route.nextHop, Ip("10.2.0.9"));
    EXPECT_EQ(route.interfaceIndex, 7u);  // the second address of LAN2
    EXPECT_TRUE(trace.lines.empty());
}

TEST_F(HostRoutesTest, UnsetOrMalformedGatewayDoesNothing) {
    for (const char* gateway : {"0.0.0.0", "", "10.2.0.9.", "10.2.0.9.1", "garbage", "256.1.1.1"}) {
        SCOPED_TRACE(gateway);
        EXPECT_EQ(AddHostRoute(table, Ip("172.16.4.20"), Ip(gateway)), kRouteOk);
        EXPECT_EQ(DeleteHostRoute(table, Ip("172.16.4.20"), Ip(gateway)), kRouteOk);
    }
    table.routes.push_back(Route("172.16.4.20", "255.255.255.255", "10.2.0.9", 7));
    EXPECT_EQ(DeleteHostRoute(table, Ip("172.16.4.20"), 0xFFFFFFFFu), kRouteOk);
    EXPECT_TRUE(table.added.empty());
    EXPECT_TRUE(table.deleted.empty());
    EXPECT_EQ(table.routeQueries, 0);
    EXPECT_EQ(table.routes.size(), 1u);
}

// An unset or malformed controller address would otherwise lay a route to 0.0.0.0 or to
// the limited broadcast address, and a delete would remove someone else's.
TEST_F(HostRoutesTest, UnsetOrMalformedDestinationDoesNothing) {
    table.routes.push_back(Route("255.255.255.255", "255.255.255.255", "10.2.0.9", 7));
    for (const char* destination : {"0.0.0.0", "", "no address"}) {
        SCOPED_TRACE(destination);
        EXPECT_EQ(AddHostRoute(table, Ip(destination), Ip("10.2.0.9")), kRouteOk);
        EXPECT_EQ(DeleteHostRoute(table, Ip(destination), Ip("10.2.0.9")), kRouteOk);
    }
    EXPECT_TRUE(table.added.empty());
    EXPECT_TRUE(table.deleted.empty());
    EXPECT_EQ(table.routes.size(), 1u);
}

TEST_F(HostRoutesTest, GatewayOfNoLocalAdapterIsRequestedOnInterfaceZero) {
    EXPECT_EQ(AddHostRoute(table, Ip("172.16.4.20"), Ip("10.3.0.1")), kRouteOk);
    ASSERT_EQ(table.added.size(), 1u);
    EXPECT_EQ(table.added[0].interfaceIndex, 0u);
    EXPECT_EQ(table.added[0].nextHop, Ip("10.3.0.1"));
}

TEST_F(HostRoutesTest, UnreadableAdaptersGiveInterfaceZero) {
    table.adaptersFail = true;
    EXPECT_EQ(AddHostRoute(table, Ip("172.16.4.20"), Ip("10.2.0.9")), kRouteOk);
    ASSERT_EQ(table.added.size(), 1u);
    EXPECT_EQ(table.added[0].interfaceIndex, 0u);
}

TEST_F(HostRoutesTest, InvalidParameterAndNotSupportedAreTracedWithTheirCode) {
    table.addResult = kRouteInvalidParameter;
    EXPECT_EQ(AddHostRoute(table, Ip("172.16.4.20"), Ip("10.3.0.1")), 87u);
    table.addResult = kRouteNotSupported;
    EXPECT_EQ(AddHostRoute(table, Ip("172.16.4.20"), Ip("10.2.0.9")), 50u);
    ASSERT_EQ(trace.lines.size(), 2u);
    EXPECT_EQ(trace.lines[0].rfind("2015.03.07 14:05:09.123> One of the members (IP, GW) of the "
                                   "MIB_IPFORWARDROW structure is invalid., return code: "
                                   "0x00000057 (",
                                   0),
              0u)
        << trace.lines[0];
    EXPECT_EQ(trace.lines[1].rfind("2015.03.07 14:05:09.123> The IP transport is not configured "
                                   "on the local computer., return code: 0x00000032 (",
                                   0),
              0u)
        << trace.lines[1];
}

TEST_F(HostRoutesTest, OtherAddResultsArePassedOnWithoutTrace) {
    table.addResult = 5010u;
    EXPECT_EQ(AddHostRoute(table, Ip("172.16.4.20"), Ip("10.2.0.9")), 5010u);
    table.addResult = 5u;
    EXPECT_EQ(AddHostRoute(table, Ip("172.16.4.20"), Ip("10.2.0.9")), 5u);
    EXPECT_TRUE(trace.lines.empty());
}

TEST_F(HostRoutesTest, DeleteRemovesTheFirstHostRouteToTheDestinationWhateverItsNextHop) {
    table.routes = {Route("0.0.0.0", "0.0.0.0", "192.168.10.1", 3),
                    Route("172.16.4.20", "255.255.255.255", "10.1.0.9", 7),
                    Route("172.16.4.20", "255.255.255.255", "192.168.10.5", 3),
                    Route("172.16.4.21", "255.255.255.255", "10.1.0.9", 7)};
    // The gateway given is neither next hop: it only says that the device uses routes.
    EXPECT_EQ(DeleteHostRoute(table, Ip("172.16.4.20"), Ip("10.2.0.9")), kRouteOk);
    ASSERT_EQ(table.deleted.size(), 1u);
    EXPECT_EQ(table.deleted[0], Route("172.16.4.20", "255.255.255.255", "10.1.0.9", 7));
    ASSERT_EQ(table.routes.size(), 3u);
    EXPECT_EQ(table.routes[1], Route("172.16.4.20", "255.255.255.255", "192.168.10.5", 3));

    EXPECT_EQ(DeleteHostRoute(table, Ip("172.16.4.20"), Ip("10.2.0.9")), kRouteOk);
    EXPECT_EQ(table.routes.size(), 2u);
    EXPECT_EQ(DeleteHostRoute(table, Ip("172.16.4.20"), Ip("10.2.0.9")), kRouteNotFound);
    EXPECT_EQ(table.deleted.size(), 2u);
}

TEST_F(HostRoutesTest, DeleteWithoutRouteGivesNotFound) {
    EXPECT_EQ(DeleteHostRoute(table, Ip("172.16.4.20"), Ip("10.2.0.9")), kRouteNotFound);
    EXPECT_EQ(table.routeQueries, 1);
    EXPECT_TRUE(table.deleted.empty());
}

TEST_F(HostRoutesTest, DeleteLeavesNetworkRoutesWhoseNetworkAddressMatches) {
    table.routes = {Route("172.16.0.0", "255.255.0.0", "192.168.10.1", 3)};
    EXPECT_EQ(DeleteHostRoute(table, Ip("172.16.0.0"), Ip("10.2.0.9")), kRouteNotFound);
    EXPECT_TRUE(table.deleted.empty());
    EXPECT_EQ(table.routes.size(), 1u);
}

TEST_F(HostRoutesTest, DeletePassesOnThePlatformResultAndReportsAnUnreadableTable) {
    table.routes = {Route("172.16.4.20", "255.255.255.255", "10.1.0.9", 7)};
    table.deleteResult = 5u;
    EXPECT_EQ(DeleteHostRoute(table, Ip("172.16.4.20"), Ip("10.2.0.9")), 5u);
    table.routesFail = true;
    EXPECT_EQ(DeleteHostRoute(table, Ip("172.16.4.20"), Ip("10.2.0.9")), kRouteTableUnreadable);
    EXPECT_TRUE(trace.lines.empty());
}

TEST_F(HostRoutesTest, ReconnectCycleLeavesExactlyOneRouteThroughTheNewGateway) {
    const std::uint32_t controller = Ip("172.16.4.20");
    for (const char* gateway : {"10.1.0.9", "192.168.10.5", "192.168.10.5"}) {
        DeleteHostRoute(table, controller, Ip(gateway));
        AddHostRoute(table, controller, Ip(gateway));
    }
    ASSERT_EQ(table.routes.size(), 1u);
    EXPECT_EQ(table.routes[0], Route("172.16.4.20", "255.255.255.255", "192.168.10.5", 3));
    DeleteHostRoute(table, controller, Ip("192.168.10.5"));
    EXPECT_TRUE(table.routes.empty());
}

}  // namespace
}  // namespace velk
