#pragma once
// The channels of one device: its counters per physical channel (0 primary, 1 secondary),
// the OK flags of its active and standby channel, and the exchanges over serial ports or,
// for a Modbus TCP device, over its active and standby connections.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

#include "modbus/channel_counters.h"
#include "modbus/exchange_activity.h"
#include "modbus/exchange_observer.h"
#include "modbus/message_framing.h"
#include "modbus/o_message.h"
#include "modbus/serial_channel_set.h"
#include "modbus/shared_tcp_connections.h"
#include "modbus/tcp_connection.h"
#include "platform/clock.h"
#include "platform/route_table.h"
#include "platform/settings_store.h"
#include "platform/tcp_sockets.h"

namespace velk {

class ODevice;

// What the channels of every device share. Pointers may be null where a device kind does
// not need them (no serial channels for TCP devices, no sockets for serial ones; no routes
// or settings: no host routes, port 502).
struct ChannelServices {
    IClock& clock;
    IExchangeObserver& observer;
    SerialChannelSet* serialChannels = nullptr;
    ITcpSockets* sockets = nullptr;
    IRouteTable* routes = nullptr;
    ISettingsStore* machineSettings = nullptr;
    ExchangeActivity* activity = nullptr;  // counts the exchanges on the wire
    // The connections of devices that share theirs; null: every device has its own.
    SharedTcpConnections* sharedConnections = nullptr;
};

class DeviceChannels {
  public:
    DeviceChannels(ODevice& device, const ChannelServices& services);
    // Closes both connections.
    ~DeviceChannels();
    DeviceChannels(const DeviceChannels&) = delete;
    DeviceChannels& operator=(const DeviceChannels&) = delete;

    // Serial exchange on the port of the active (1) or standby (0) channel, with a
    // diagnostic probe when a request other than a probe failed; sets that channel's OK flag
    // and reports to the supervision. The same message; null when given null.
    OMessage* TransactSerial(OMessage* message, std::uint32_t answerTimeoutMs, int channel);

    // Modbus TCP exchange on the active connection (opened when there is none), under the
    // exchange lock (a device that shares its connection: the shared connection, under its
    // lock as well; a stop leaves it open for the others), with a diagnostic probe after a
    // time-out; a failure closes the connection. The request and the probe wait the connection's
    // wait at most each, so the exchange ends within twice that (and a connect) whatever the
    // controller sends. Sets active OK and reports to the supervision. The same message, holding
    // the answer or reset; null when given null.
    OMessage* TransactTcp(OMessage* message);

    // The standby probe of the diagnostic thread over TCP: connects when needed, then
    // exchanges diagnostic requests, three when the connection is new, else one, calling
    // waitPeriod after each; the first failure closes the connection. Sets standby OK and
    // reports to the supervision; true when the probe succeeded.
    bool ProbeStandbyTcp(const std::function<void()>& waitPeriod);

    // Connects the active or standby connection to the addresses of physical channel
    // index; a failed connect counts one communication error there.
    bool ConnectActive(int index);
    bool ConnectStandby(int index);
    // Closes the connection and removes its host route, clears its OK flag, pauses 100 ms.
    void CloseActive();
    void CloseStandby();

    // Removes the host route to physical channel index's controller address, as a device
    // thread does when it ends.
    void RemoveRoute(int index);

    // One request and its answer on a connection, counted on physical channel index: the
    // bytes of the answer (> 0), -1 error, -2 time-out. The answer is received in as many
    // pieces as it comes until it has the expected length (or the shorter length its header
    // announces), all within the connection's wait from the send. An answer of another
    // length than expected is positive but leaves the message reset.
    int ExchangeTcp(TcpConnection& connection, OMessage& message, int index);

    // The channel switch in one step between exchanges and probes (under the exchange lock,
    // then the standby lock): toggles the device's active channel, exchanges the two
    // connections of a TCP device and clears both OK flags.
    void SwitchChannel();

    // The device's running flag (set while its threads run); TCP exchanges need it.
    void SetRunning(bool running) { running_ = running; }
    // The stop of the device's threads: clears the running flag and closes both
    // connections of a TCP device without waiting for an exchange or a probe in progress,
    // which ends at its own time-out, reports nothing and leaves its connection closed. A
    // connection in use is closed by the next user of it instead, or by FinishStop.
    void RequestStop();
    // Closes what the stop left to close, waiting for the exchange or probe in progress
    // (for the device's own threads as they end).
    void FinishStop();
    bool Running() const { return running_; }

    bool ActiveOk() const { return activeOk_; }
    bool StandbyOk() const { return standbyOk_; }
    void ClearOkFlags();

    // The counters of physical channel index (0 primary, 1 secondary).
    ChannelCounts Counts(int index) const { return counters_[index & 1].Counts(); }
    // The physical channel that is active now.
    int ActiveIndex() const;

    // Serialises the exchanges on the active connection; the supervision takes it to switch
    // channels. Starting and stopping the device never wait for it.
    std::recursive_mutex& ExchangeLock() { return exchangeLock_; }
    bool ActiveConnected() const;
    bool StandbyConnected() const;

  private:
    // A connection that the stop asked to close: its physical channel index, or -1.
    struct PendingClose {
        std::atomic<int> index{-1};
    };
    bool Connect(TcpConnection& connection, int index);
    // TransactTcp for a device that shares the connection to its address and port.
    OMessage* TransactShared(OMessage* message);
    // ExchangeTcp without the request pause.
    int ExchangeTcpNow(TcpConnection& connection, OMessage& message, int index);
    // One RTU frame and its answer on a connection to a serial device server, with the
    // answer rules of a serial line.
    int ExchangeRtuOverTcp(TcpConnection& connection, OMessage& message, int index);
    // The framing of the device's TCP connections: Modbus TCP, or RTU over TCP.
    MessageFraming TcpFraming() const;
    // Closes the connection if the stop asked for it; the caller holds its lock.
    void ClosePending(TcpConnection& connection, PendingClose& pending, std::atomic<bool>& okFlag);
    void TryClosePendingActive();
    void Close(TcpConnection& connection, int index, std::atomic<bool>& okFlag);
    // The wait for one answer, from its start on the tick count.
    struct Deadline {
        std::uint32_t start = 0;
        std::uint32_t waitMs = 0;
    };
    std::uint32_t Left(const Deadline& deadline) const;
    // What is left of the deadline, but at most the device's answer time-out from now.
    void CutToAnswerTimeout(Deadline& deadline) const;
    // Receives into buffer from have on until target bytes are there: 1, or the failing
    // receive's result (0 closed, -1 error, -2 the deadline passed).
    int Fill(TcpConnection& connection, std::uint8_t* buffer, std::size_t& have, std::size_t target,
             const Deadline& deadline);
    // The answer to the transaction, in as many pieces as it comes: the bytes taken (> 0),
    // or the failing receive's result. Bytes that cannot be the answer (another
    // transaction, a header of no frame) cut the deadline to the device's answer time-out.
    int ReceiveAnswer(TcpConnection& connection, std::uint16_t transaction, std::uint8_t* buffer,
                      std::size_t answerLength, std::size_t& have, Deadline& deadline);
    // Where the answer to the transaction starts among bytes that do not begin with it.
    static std::size_t AnswerStart(const std::uint8_t* buffer, std::size_t have,
                                   std::uint16_t transaction);
    // Receives and drops count bytes: 1, or the failing receive's result.
    int Skip(TcpConnection& connection, std::size_t count, const Deadline& deadline);
    int Failure(int index);
    std::uint8_t Slave() const;
    // The device's pause between requests: waits until that long after the end of its last
    // exchange. EndOfExchange marks that end.
    void PauseBeforeRequest();
    void EndOfExchange();

    ODevice& device_;
    ChannelServices services_;
    std::array<ChannelCounters, 2> counters_;
    std::atomic<bool> activeOk_{false};
    std::atomic<bool> standbyOk_{false};
    std::atomic<bool> running_{false};
    // Stops so far; an exchange that a stop overtook finds it changed and reports nothing.
    std::atomic<std::uint32_t> stops_{0};
    PendingClose activeClose_;
    PendingClose standbyClose_;
    std::recursive_mutex exchangeLock_;
    std::recursive_mutex standbyLock_;
    TcpConnection active_;
    TcpConnection standby_;
    std::uint32_t swaps_ = 0;  // channel switches; under both locks
    // The tick count at the end of the device's last exchange, for the request pause.
    std::atomic<std::uint32_t> lastExchangeEnd_{0};
    std::atomic<bool> exchanged_{false};
};

}  // namespace velk
