#pragma once
// The runtime side of one serial port: the open line, its counters and the exchange of one
// request and its answer under the port lock. Every device on the port exchanges here.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>

#include "modbus/channel_counters.h"
#include "modbus/o_message.h"
#include "platform/clock.h"
#include "platform/serial_port.h"

namespace velk {

class OPort;

// Lines for the process's standard output ("Error opening ...").
using ConsoleLine = std::function<void(std::string_view line)>;

class SerialChannel {
  public:
    // The receive buffer holds the longest answer.
    static constexpr std::size_t kReceiveBufferSize = OMessage::kBufferSize;

    // devicePath is where the port's line is opened; acquisitionRunning tells whether
    // exchanges are allowed at all.
    SerialChannel(OPort& port, std::unique_ptr<ISerialPort> line, std::string devicePath,
                  IClock& clock, ConsoleLine console, std::function<bool()> acquisitionRunning);
    SerialChannel(const SerialChannel&) = delete;
    SerialChannel& operator=(const SerialChannel&) = delete;

    // Opens the line on first use, applies the line settings when they are new or were
    // edited, and sets the read time-out to answerTimeoutMs + 1 ms per byte. 1 when the port
    // is open and configured, else 0.
    int Configure(std::uint32_t answerTimeoutMs);

    // Writes the request and reads its answer of exactly the expected length, one retry,
    // counting on the port and on deviceCounters. The message then holds the answer, is
    // reset (failure), or, for a broadcast (answer length 0), still holds the request.
    OMessage& Transact(ChannelCounters& deviceCounters, OMessage& message,
                       std::uint32_t answerTimeoutMs);

    ChannelCounts Counts() const { return counters_.Counts(); }
    const OPort& Port() const { return port_; }
    bool PurgeNeeded() const;

  private:
    enum class Attempt { kAnswered, kBroadcast, kWriteFailed, kFailed };

    // Reads back the echo of a frame just written; false when it does not come back as sent.
    bool DropEcho(std::span<const std::uint8_t> frame);
    Attempt TryOnce(ChannelCounters& deviceCounters, OMessage& message,
                    std::uint32_t answerTimeoutMs);
    void PurgeInput();
    std::uint32_t CharacterPauseMs() const;

    OPort& port_;
    std::unique_ptr<ISerialPort> line_;
    std::string devicePath_;
    IClock& clock_;
    ConsoleLine console_;
    std::function<bool()> acquisitionRunning_;

    mutable std::recursive_mutex portLock_;
    bool configureNeeded_ = true;
    bool purgeNeeded_ = false;
    ChannelCounters counters_;
    std::array<std::uint8_t, kReceiveBufferSize> receiveBuffer_{};
};

}  // namespace velk
