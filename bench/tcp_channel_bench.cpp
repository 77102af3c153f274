// Sequential 125-register reads over the device's TCP channel (TransactTcp) against a
// libmodbus slave on loopback, beside a libmodbus client doing the same reads on a slave of
// its own, in the same run.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <modbus.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <thread>

#include "modbus/channel_settings.h"
#include "modbus/device_channels.h"
#include "modbus/modbus_requests.h"
#include "model/o_device.h"
#include "platform/linux/posix_tcp_sockets.h"
#include "platform/linux/system_clock.h"
#include "tests/support/memory_settings_store.h"

namespace {

constexpr int kRegisters = 125;

// A libmodbus slave on 127.0.0.1 at a port the system picks, serving one connection.
class LibmodbusSlave {
  public:
    LibmodbusSlave() {
        context_ = modbus_new_tcp("127.0.0.1", 0);
        mapping_ = modbus_mapping_new(0, 0, kRegisters, 0);
        for (int i = 0; i < kRegisters; ++i) mapping_->tab_registers[i] = static_cast<uint16_t>(i);
        listener_ = modbus_tcp_listen(context_, 1);
        sockaddr_in at{};
        socklen_t length = sizeof at;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&at), &length);
        port_ = ntohs(at.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~LibmodbusSlave() {
        stop_ = true;
        shutdown(listener_, SHUT_RDWR);
        if (thread_.joinable()) thread_.join();
        close(listener_);
        modbus_mapping_free(mapping_);
        modbus_free(context_);
    }
    int Port() const { return port_; }

  private:
    void Serve() {
        int fd = listener_;
        if (modbus_tcp_accept(context_, &fd) < 0) return;
        uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
        while (!stop_) {
            int n = modbus_receive(context_, query);
            if (n < 0) break;
            if (n > 0) modbus_reply(context_, query, n, mapping_);
        }
        modbus_close(context_);
    }

    modbus_t* context_ = nullptr;
    modbus_mapping_t* mapping_ = nullptr;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

class NoSupervision final : public velk::IExchangeObserver {
  public:
    void CheckComm(velk::ODevice&, bool failed, int) override { failures += failed ? 1 : 0; }
    int failures = 0;
};

void BM_TransactTcp125Registers(benchmark::State& state) {
    LibmodbusSlave slave;
    velk::SystemClock clock;
    velk::PosixTcpSockets sockets;
    velk::testing::MemorySettingsStore settings;
    settings.CreateKey(velk::kTcpPortsKey);
    settings.WriteValue(velk::kTcpPortsKey, "127.0.0.1",
                        velk::RegValue::Dword(static_cast<std::uint32_t>(slave.Port())));
    NoSupervision observer;
    velk::ODevice device;
    device.params.modbusTcp = 1;
    device.params.primaryIpAddress = "127.0.0.1";
    velk::DeviceChannels channels(
        device, velk::ChannelServices{clock, observer, nullptr, &sockets, nullptr, &settings});
    channels.SetRunning(true);
    std::int64_t good = 0;
    for (auto _ : state) {
        auto request = velk::BuildReadRequest(velk::MessageFraming::kTcp, 1,
                                              velk::ReadArea::kHoldingRegister, 0, kRegisters);
        channels.TransactTcp(request.get());
        if (request->IsValid() && request->GetWord(124) == 124) ++good;
    }
    if (good != state.iterations()) state.SkipWithError("a read failed");
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TransactTcp125Registers)->UseRealTime();

void BM_Libmodbus125Registers(benchmark::State& state) {
    LibmodbusSlave slave;
    modbus_t* client = modbus_new_tcp("127.0.0.1", slave.Port());
    modbus_set_slave(client, 1);
    if (modbus_connect(client) != 0) {
        state.SkipWithError("libmodbus could not connect");
        modbus_free(client);
        return;
    }
    uint16_t registers[kRegisters];
    std::int64_t good = 0;
    for (auto _ : state) {
        if (modbus_read_registers(client, 0, kRegisters, registers) == kRegisters &&
            registers[124] == 124) {
            ++good;
        }
    }
    if (good != state.iterations()) state.SkipWithError("a read failed");
    state.SetItemsProcessed(state.iterations());
    modbus_close(client);
    modbus_free(client);
}
BENCHMARK(BM_Libmodbus125Registers)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
