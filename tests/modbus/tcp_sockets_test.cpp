// The POSIX socket layer of the TCP channels on loopback: timed connect, send and receive
// results, accept, discarding what waits, and the holder rules; and the registry of the
// devices' channel state.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "modbus/device_channels_set.h"
#include "model/o_device.h"
#include "platform/linux/posix_tcp_sockets.h"
#include "tests/support/fake_clock.h"
#include "tests/support/recording_exchange_observer.h"

namespace velk {
namespace {

class PosixTcpSocketsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(sockets_.Listen(listener_, "127.0.0.1", 0));
        port_ = sockets_.LocalPort(listener_);
        ASSERT_GT(port_, 0);
    }
    void TearDown() override {
        sockets_.CloseSocket(client_);
        sockets_.CloseSocket(server_);
        sockets_.CloseSocket(listener_);
    }
    // A connection (blocking, with the short connection time-outs) and its accepted side.
    void Connect() {
        ASSERT_TRUE(sockets_.OpenConnection(client_, "127.0.0.1", port_));
        ASSERT_GT(sockets_.AcceptTimed(listener_, server_), 0);
    }

    PosixTcpSockets sockets_{1000, 200};
    SocketHolder listener_;
    SocketHolder client_;
    SocketHolder server_;
    std::uint16_t port_ = 0;
};

TEST_F(PosixTcpSocketsTest, BytesTravelBothWays) {
    Connect();
    const std::uint8_t out[] = {1, 2, 3, 4};
    EXPECT_EQ(sockets_.SendTimed(client_, out, 4, 100), 4);
    std::uint8_t in[8] = {};
    EXPECT_EQ(sockets_.RecvTimed(server_, in, 8, 1000), 4);
    EXPECT_EQ(in[3], 4);
}

TEST_F(PosixTcpSocketsTest, BlockingReceiveEndsWithTheTimedOutError) {
    Connect();
    std::uint8_t in[4];
    EXPECT_EQ(sockets_.RecvTimed(client_, in, 4, 10), -1);
    EXPECT_TRUE(sockets_.LastErrorWasTimeout());
    // A later success clears it.
    const std::uint8_t one = 9;
    EXPECT_EQ(sockets_.SendTimed(server_, &one, 1, 100), 1);
    EXPECT_EQ(sockets_.RecvTimed(client_, in, 4, 10), 1);
    EXPECT_FALSE(sockets_.LastErrorWasTimeout());
}

TEST_F(PosixTcpSocketsTest, NonBlockingReceiveGivesMinusTwoAfterItsOwnTimeOut) {
    Connect();
    std::uint8_t in[4];
    // The accepted socket is blocking without time-outs; a fresh non-blocking one is not.
    SocketHolder nonBlocking;
    ASSERT_TRUE(sockets_.CreateNonBlocking(nonBlocking));
    ASSERT_TRUE(sockets_.ConnectTimed(nonBlocking, "127.0.0.1", port_));
    SocketHolder accepted;
    ASSERT_GT(sockets_.AcceptTimed(listener_, accepted), 0);
    EXPECT_EQ(sockets_.RecvTimed(nonBlocking, in, 4, 20), -2);
    sockets_.CloseSocket(accepted);
    EXPECT_EQ(sockets_.RecvTimed(nonBlocking, in, 4, 1000), 0);  // the peer closed
    sockets_.CloseSocket(nonBlocking);
}

TEST_F(PosixTcpSocketsTest, ReceiveWithinItsOwnWaitOnABlockingConnection) {
    Connect();
    std::uint8_t in[4];
    // The connection's own time-out (200 ms) does not apply: the wait given does.
    EXPECT_EQ(sockets_.RecvWithin(client_, in, 4, 20), -2);
    EXPECT_TRUE(sockets_.LastErrorWasTimeout());
    const std::uint8_t out[] = {1, 2};
    ASSERT_EQ(sockets_.SendTimed(server_, out, 2, 100), 2);
    EXPECT_EQ(sockets_.RecvWithin(client_, in, 4, 1000), 2);  // what came, not the count
    EXPECT_FALSE(sockets_.LastErrorWasTimeout());
    sockets_.CloseSocket(server_);
    EXPECT_EQ(sockets_.RecvWithin(client_, in, 4, 1000), 0);
}

TEST_F(PosixTcpSocketsTest, PeerCloseIsAZeroReceiveNotATimeOut) {
    Connect();
    sockets_.CloseSocket(server_);
    EXPECT_TRUE(server_.Empty());
    std::uint8_t in[4];
    EXPECT_EQ(sockets_.RecvTimed(client_, in, 4, 10), 0);
    EXPECT_FALSE(sockets_.LastErrorWasTimeout());
}

TEST_F(PosixTcpSocketsTest, DiscardPendingDropsOnlyWhatWaits) {
    Connect();
    const std::uint8_t out[] = {1, 2, 3, 4, 5};
    ASSERT_EQ(sockets_.SendTimed(server_, out, 5, 100), 5);
    std::uint8_t in[1];
    ASSERT_EQ(sockets_.RecvTimed(client_, in, 1, 100), 1);  // the bytes have arrived
    EXPECT_EQ(sockets_.DiscardPending(client_), 4u);
    EXPECT_EQ(sockets_.DiscardPending(client_), 0u);
    ASSERT_EQ(sockets_.SendTimed(server_, out + 4, 1, 100), 1);
    EXPECT_EQ(sockets_.RecvTimed(client_, in, 1, 100), 1);
    EXPECT_EQ(in[0], 5);
}

TEST_F(PosixTcpSocketsTest, AcceptWithoutACallerWaitsAndGivesZero) {
    SocketHolder none;
    EXPECT_EQ(sockets_.AcceptTimed(listener_, none), 0);
    EXPECT_TRUE(none.Empty());
}

TEST_F(PosixTcpSocketsTest, AnAddressWithBlanksAroundItConnectsAsTheRoutesReadIt) {
    SocketHolder padded;
    ASSERT_TRUE(sockets_.OpenConnection(padded, "127.0.0.1 ", port_));
    sockets_.CloseSocket(padded);
    SocketHolder junk;
    EXPECT_FALSE(sockets_.OpenConnection(junk, "127.0.0.1 x", port_));
    EXPECT_FALSE(sockets_.OpenConnection(junk, "127.1", port_));
}

TEST_F(PosixTcpSocketsTest, ConnectFailuresLeaveTheHolderEmpty) {
    sockets_.CloseSocket(listener_);  // nothing listens there now
    SocketHolder holder;
    EXPECT_FALSE(sockets_.OpenConnection(holder, "127.0.0.1", port_));
    EXPECT_TRUE(holder.Empty());
    EXPECT_FALSE(sockets_.OpenConnection(holder, "not an address", port_));
    EXPECT_FALSE(sockets_.ConnectTimed(holder, "127.0.0.1", port_));  // empty holder
    EXPECT_EQ(sockets_.SendTimed(holder, nullptr, 0, 10), -1);
    sockets_.CloseSocket(holder);  // nothing happens
    EXPECT_TRUE(holder.Empty());
}

TEST(DeviceChannelsSetTest, OneStatePerDeviceUntilForgotten) {
    testing::FakeClock clock;
    testing::RecordingExchangeObserver observer;
    DeviceChannelsSet set(ChannelServices{clock, observer});
    ODevice first;
    ODevice second;
    DeviceChannels& a = set.ChannelsOf(first);
    a.SetRunning(true);
    EXPECT_EQ(&set.ChannelsOf(first), &a);
    EXPECT_NE(&set.ChannelsOf(second), &a);
    set.Forget(first);
    EXPECT_FALSE(set.ChannelsOf(first).Running());  // a fresh state
    set.Forget(second);
    set.Forget(second);
}

}  // namespace
}  // namespace velk
