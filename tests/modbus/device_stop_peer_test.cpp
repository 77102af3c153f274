// Stopping and starting a device's acquisition while its exchange waits on a controller that
// accepts the connection and never answers (a listener on loopback that reads what comes
// and sends nothing): the stop and the next start return without waiting for the exchange,
// which ends at its own time-out without a probe or a report and leaves its connection
// closed. The supervision runs on a fake clock; waits are bounded waits for conditions.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <memory>
#include <optional>
#include <string>

#include "modbus/acquisition_stack.h"
#include "modbus/channel_settings.h"
#include "modbus/device_acquisition.h"
#include "model/c_doc.h"
#include "model/o_device.h"
#include "platform/linux/posix_tcp_sockets.h"
#include "tests/modbus/route_trace_capture.h"
#include "tests/model/recording_poster.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_route_table.h"
#include "tests/support/memory_settings_store.h"

namespace velk {
namespace {

using namespace std::chrono_literals;

// Generous bounds for what must happen: a hung feature, not a slow machine.
constexpr auto kLimit = 10s;

// The controller: the kernel completes connections, the test accepts them and reads.
class SilentController {
  public:
    SilentController() {
        listening_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof at;
        if (::bind(listening_, reinterpret_cast<sockaddr*>(&at), size) == 0 &&
            ::listen(listening_, 8) == 0 &&
            ::getsockname(listening_, reinterpret_cast<sockaddr*>(&at), &size) == 0) {
            port_ = ntohs(at.sin_port);
        }
    }
    ~SilentController() {
        HangUp();
        ::close(listening_);
    }
    std::uint16_t Port() const { return port_; }

    // Takes the next connection; false when none came.
    bool Accept() {
        HangUp();
        if (!Ready(listening_)) return false;
        connection_ = ::accept4(listening_, nullptr, nullptr, SOCK_CLOEXEC);
        return connection_ >= 0;
    }
    // The bytes that arrive on the connection until the sender closes it; none when the
    // connection neither brings bytes nor closes within the limit.
    std::optional<std::string> ReadToEnd() {
        std::string bytes;
        for (;;) {
            if (!Ready(connection_)) return std::nullopt;
            char chunk[256];
            const ssize_t n = ::read(connection_, chunk, sizeof chunk);
            if (n <= 0) return bytes;
            bytes.append(chunk, static_cast<std::size_t>(n));
        }
    }
    // Waits for the first request on the connection and reads it.
    bool ReadRequest() {
        char chunk[256];
        return Ready(connection_) && ::read(connection_, chunk, sizeof chunk) > 0;
    }
    void HangUp() {
        if (connection_ >= 0) ::close(connection_);
        connection_ = -1;
    }

  private:
    static bool Ready(int fd) {
        pollfd p{fd, POLLIN, 0};
        return ::poll(&p, 1, static_cast<int>(std::chrono::milliseconds(kLimit).count())) == 1;
    }
    int listening_ = -1;
    int connection_ = -1;
    std::uint16_t port_ = 0;
};

class DeviceStopPeerTest : public ::testing::Test {
  protected:
    explicit DeviceStopPeerTest(std::uint32_t receiveTimeoutMs = 300)
        : sockets_(1000, receiveTimeoutMs),
          stack_(AcquisitionStackServices{clock_,
                                          poster_,
                                          nullptr,
                                          &sockets_,
                                          &routes_,
                                          &settings_,
                                          {},
                                          [this] { return &document_; },
                                          {}}) {
        auto device = std::make_unique<ODevice>();
        device_ = device.get();
        document_.AdoptDevice(*device);
        document_.rootGroup.subgroupList.push_back(std::move(device));
        device_->name = "Silent";
        auto& p = device_->params;
        p.modbusTcp = 1;
        // One channel: no diagnostic thread, the event scan alone reads.
        p.primaryIpAddress = p.secondaryIpAddress = "127.0.0.1";
        p.deviceType = 1;
        p.eventScan = 30;
        p.timeout = 300;
        p.initiallyReadEventStatus = 0;
        p.timeSync = 0x8000;  // each start's first exchange: a time synchronisation
        settings_.CreateKey(kTcpPortsKey);
        settings_.WriteValue(kTcpPortsKey, "127.0.0.1", RegValue::Dword(controller_.Port()));
        // Past the supervision's quiet time after the device's creation.
        clock_.Advance(6000);
    }
    ~DeviceStopPeerTest() override {
        acquisition_.StopAllDevices();
        controller_.HangUp();
        acquisition_.StopDevice(*device_);
    }
    // Starts the acquisition and waits until its first request is on the wire.
    void StartUntilOnTheWire() {
        acquisition_.StartAllDevices();
        ASSERT_TRUE(controller_.Accept());
        ASSERT_TRUE(controller_.ReadRequest());
    }
    int FailureReports() const { return trace_.CountContaining("ch. - Failure"); }

    testing::RouteTraceCapture trace_;
    SilentController controller_;
    testing::FakeClock clock_;
    testing::MemorySettingsStore settings_;
    testing::FakeRouteTable routes_;
    PosixTcpSockets sockets_;
    testing::RecordingPoster poster_;
    CDoc document_{CDocServices{}, ModelSettings{}};
    AcquisitionStack stack_;
    DeviceAcquisition& acquisition_ = stack_.Acquisition();
    ODevice* device_ = nullptr;
};

TEST_F(DeviceStopPeerTest, ExchangeThatTheStopOvertookEndsWithoutProbeOrReport) {
    StartUntilOnTheWire();
    acquisition_.StopAllDevices();
    // After the request nothing more comes, no diagnostic probe after the time-out, and the
    // connection is closed.
    EXPECT_EQ(controller_.ReadToEnd(), std::string());
    ASSERT_TRUE(acquisition_.WaitIdle(std::chrono::steady_clock::now() + kLimit));
    EXPECT_EQ(FailureReports(), 0);
    EXPECT_FALSE(stack_.Channels().ChannelsOf(*device_).ActiveConnected());
}

// An answer time-out far beyond the test: only the controller's hang-up ends an exchange.
class DeviceStopLongExchangeTest : public DeviceStopPeerTest {
  protected:
    DeviceStopLongExchangeTest() : DeviceStopPeerTest(60000) {}
};

TEST_F(DeviceStopLongExchangeTest, StopAndRestartReturnWhileTheExchangeWaits) {
    StartUntilOnTheWire();
    auto stop = std::async(std::launch::async, [this] { acquisition_.StopAllDevices(); });
    const bool stopReturned = stop.wait_for(kLimit) == std::future_status::ready;
    EXPECT_TRUE(stopReturned) << "the stop waited for the exchange";
    if (!stopReturned) controller_.HangUp();
    stop.get();
    EXPECT_FALSE(acquisition_.DeviceRuns(*device_));
    EXPECT_FALSE(acquisition_.WaitIdle(std::chrono::steady_clock::now()));

    // The next client's start runs new threads beside the one still in the exchange; they
    // take the channel once the exchange has ended, on a new connection.
    acquisition_.StartAllDevices();
    EXPECT_TRUE(acquisition_.DeviceRuns(*device_));
    controller_.HangUp();
    ASSERT_TRUE(controller_.Accept());
    ASSERT_TRUE(controller_.ReadRequest());

    acquisition_.StopAllDevices();
    controller_.HangUp();
    ASSERT_TRUE(acquisition_.WaitIdle(std::chrono::steady_clock::now() + kLimit));
    EXPECT_EQ(FailureReports(), 0);
}

}  // namespace
}  // namespace velk
