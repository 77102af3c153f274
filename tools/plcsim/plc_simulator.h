#pragma once
// The simulated controller as a program: its channels (TCP listeners, serial lines), the
// control inputs (standard input, a Unix socket) and one poll loop that serves them all.
// Delayed and split answers are scheduled, so a late answer on one channel never holds up
// another.
#include <chrono>
#include <cstdint>
#include <deque>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/plcsim/controller_event_buffer.h"
#include "tools/plcsim/demo_driver.h"
#include "tools/plcsim/fault_plan.h"
#include "tools/plcsim/modbus_slave.h"
#include "tools/plcsim/process_image.h"
#include "tools/plcsim/request_assembler.h"
#include "tools/plcsim/simulator_options.h"

namespace velk::plcsim {

class PlcSimulator {
  public:
    using Clock = std::chrono::steady_clock;

    explicit PlcSimulator(SimulatorOptions options);
    ~PlcSimulator();
    PlcSimulator(const PlcSimulator&) = delete;
    PlcSimulator& operator=(const PlcSimulator&) = delete;

    // Applies the presets, opens every channel and the control socket; false with a
    // message when one cannot be opened.
    bool Start(std::string& error);
    // Serves until a "quit" command or RequestQuit; returns the exit code.
    int Run();
    // Safe from a signal handler.
    static void RequestQuit();

    // --- used by the control commands ---
    ProcessImage& Image() { return image_; }
    ControllerEventBuffer& Events() { return events_; }
    ModbusSlave& Slave() { return slave_; }
    int ChannelCount() const { return static_cast<int>(channels_.size()); }
    // Faults of channel n (1-based).
    FaultPlan& Faults(int channel) { return channels_[channel - 1].faults; }
    // A cut TCP channel closes its listener and connections; a cut serial line ignores
    // what it receives. false when the channel could not be opened again.
    bool CutChannel(int channel);
    bool RestoreChannel(int channel, std::string& error);
    // Closes the open TCP connections of the channel.
    void CloseConnections(int channel);
    std::string DescribeChannels() const;
    // Counts of the connections and bad frames per channel, as report lines.
    std::string TransportReport() const;
    void ResetTransportCounters();
    void Quit() { quit_ = true; }

  private:
    struct Channel {
        ChannelOption option;
        FaultPlan faults;
        int listenFd = -1;
        bool cut = false;
        std::uint64_t accepted = 0;
        std::uint64_t dropped = 0;  // frames that failed their check
    };
    struct Connection {
        std::uint64_t id = 0;
        int fd = -1;
        int channel = 0;  // 1-based
        bool serial = false;
        RequestAssembler assembler;
        Clock::time_point lastByte;
    };
    struct PendingSend {
        std::uint64_t connectionId = 0;
        std::vector<std::uint8_t> bytes;
        Clock::time_point due;
    };
    struct ControlClient {
        int inFd = -1;
        int outFd = -1;
        std::string line;
    };

    bool OpenListener(Channel& channel, std::string& error);
    bool OpenSerial(int channelIndex, std::string& error);
    bool OpenControl(std::string& error);
    void AcceptTcp(int channelIndex);
    void AcceptControl();
    void ReadConnection(Connection& connection);
    void ServeRequest(Connection& connection, const DecodedRequest& request);
    void ReadControl(ControlClient& client);
    void SendDue();
    void CloseConnection(std::uint64_t id);
    Connection* FindConnection(std::uint64_t id);
    void Log(const std::string& text) const;
    int PollTimeoutMs() const;
    void Write(int fd, const std::string& text) const;

    SimulatorOptions options_;
    ProcessImage image_;
    ControllerEventBuffer events_;
    ModbusSlave slave_;
    DemoDriver demo_;
    std::vector<Channel> channels_;
    std::list<Connection> connections_;
    std::deque<PendingSend> pending_;
    std::list<ControlClient> controlClients_;
    int controlListenFd_ = -1;
    std::uint64_t nextConnectionId_ = 1;
    Clock::time_point nextDemoStep_;
    std::string lastRequest_;  // report line of the last request received
    bool quit_ = false;
};

}  // namespace velk::plcsim
