#include "modbus/device_channels.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "modbus/active_channel.h"
#include "modbus/answer_match.h"
#include "modbus/channel_settings.h"
#include "modbus/host_routes.h"
#include "modbus/ip_address_text.h"
#include "modbus/modbus_requests.h"
#include "modbus/tcp_route_connection.h"
#include "model/o_device.h"
#include "model/o_port.h"

namespace velk {
namespace {

// MBAP header: transaction identifier (bytes 0-1), protocol, length of what follows byte 5.
constexpr std::size_t kLengthFieldEnd = 6;
// The largest Modbus TCP frame; a length field beyond it is not a frame.
constexpr std::size_t kMaxTcpFrame = 260;
constexpr std::size_t kMinTcpFrame = 8;
// How many answers to earlier requests one receive passes over before giving up on the
// stream.
constexpr int kMaxStaleFrames = 8;

std::uint16_t TransactionOf(const std::uint8_t* frame) {
    return static_cast<std::uint16_t>(frame[0] << 8 | frame[1]);
}

// Requests are numbered from 1; 0 is never sent, so an answer that carries 0 comes from a
// controller that does not echo the identifier, and is matched by its length alone.
bool MayAnswer(std::uint16_t answerTransaction, std::uint16_t requestTransaction) {
    return answerTransaction == requestTransaction || answerTransaction == 0;
}

std::uint16_t NextTransaction(std::uint16_t last) {
    const auto next = static_cast<std::uint16_t>(last + 1);
    return next == 0 ? 1 : next;
}

std::size_t FrameSizeOf(const std::uint8_t* frame) {
    return kLengthFieldEnd + (static_cast<std::size_t>(frame[4]) << 8 | frame[5]);
}

}  // namespace

DeviceChannels::DeviceChannels(ODevice& device, const ChannelServices& services)
    : device_(device), services_(services) {}

DeviceChannels::~DeviceChannels() {
    if (services_.sockets != nullptr) {
        services_.sockets->CloseSocket(active_.socket);
        services_.sockets->CloseSocket(standby_.socket);
    }
}

int DeviceChannels::ActiveIndex() const { return ActiveChannelOf(device_) != 0 ? 1 : 0; }

std::uint8_t DeviceChannels::Slave() const { return device_.params.slaveAddress; }

void DeviceChannels::ClearOkFlags() {
    activeOk_ = false;
    standbyOk_ = false;
}

void DeviceChannels::PauseBeforeRequest() {
    const auto pause = static_cast<std::uint32_t>(std::max(device_.params.requestPause, 0));
    if (pause == 0 || !exchanged_) return;
    const std::uint32_t elapsed = services_.clock.TickCount() - lastExchangeEnd_;
    if (elapsed < pause) services_.clock.Sleep(pause - elapsed);
}

void DeviceChannels::EndOfExchange() {
    lastExchangeEnd_ = services_.clock.TickCount();
    exchanged_ = true;
}

bool DeviceChannels::ActiveConnected() const { return !active_.socket.Empty(); }
bool DeviceChannels::StandbyConnected() const { return !standby_.socket.Empty(); }

// ---- serial ----

OMessage* DeviceChannels::TransactSerial(OMessage* message, std::uint32_t answerTimeoutMs,
                                         int channel) {
    if (message == nullptr) return nullptr;
    const bool diagnostic = message->GetFunction() == function_code::kDiagnostics;
    const int index = channel == kActiveChannel ? ActiveIndex() : 1 - ActiveIndex();
    OPort* port = index == 0 ? device_.params.primaryPort : device_.params.secondaryPort;
    SerialChannel* serial =
        services_.serialChannels != nullptr ? services_.serialChannels->ChannelOf(port) : nullptr;

    bool failed = true;
    const ExchangeActivity::Scope onWire(services_.activity);
    if (serial == nullptr) {
        // A device whose port is not bound has no line to send on.
        message->Reset();
    } else {
        PauseBeforeRequest();
        serial->Transact(counters_[index], *message, answerTimeoutMs);
        EndOfExchange();
        failed = !message->IsValid();
        if (failed && !diagnostic) {
            auto probe = BuildDiagnosticRequest(ChooseFraming(false, port->dataBits), Slave());
            if (probe) {
                PauseBeforeRequest();
                serial->Transact(counters_[index], *probe, answerTimeoutMs);
                EndOfExchange();
                failed = !probe->IsValid();
            }
        }
    }
    (channel == kActiveChannel ? activeOk_ : standbyOk_) = !failed;
    services_.observer.CheckComm(device_, failed, channel);
    return message;
}

// ---- TCP connections ----

bool DeviceChannels::Connect(TcpConnection& connection, int index) {
    const auto& p = device_.params;
    const std::string& address = index == 0 ? p.primaryIpAddress : p.secondaryIpAddress;
    const std::string& gateway = index == 0 ? p.primaryGatewayAddress : p.secondaryGatewayAddress;
    bool connected = false;
    if (services_.sockets != nullptr) {
        connected =
            ConnectThroughRoute(*services_.sockets, services_.routes, connection.socket, address,
                                ModbusTcpPort(services_.machineSettings, address), gateway);
    }
    connection.lastTransaction = 0;
    if (!connected) counters_[index].AddCommError();
    // Some controllers and gateways drop requests that come right after the connect.
    if (connected && p.connectDelay > 0)
        services_.clock.Sleep(static_cast<std::uint32_t>(p.connectDelay));
    return connected;
}

bool DeviceChannels::ConnectActive(int index) { return Connect(active_, index); }

bool DeviceChannels::ConnectStandby(int index) { return Connect(standby_, index); }

void DeviceChannels::Close(TcpConnection& connection, int index, std::atomic<bool>& okFlag) {
    const auto& p = device_.params;
    if (services_.sockets != nullptr) {
        CloseAndRemoveRoute(*services_.sockets, services_.routes, connection.socket,
                            index == 0 ? p.primaryIpAddress : p.secondaryIpAddress,
                            index == 0 ? p.primaryGatewayAddress : p.secondaryGatewayAddress);
    }
    okFlag = false;
    services_.clock.Sleep(100);
}

void DeviceChannels::CloseActive() {
    std::lock_guard lock(exchangeLock_);
    Close(active_, ActiveIndex(), activeOk_);
}

void DeviceChannels::CloseStandby() {
    std::lock_guard lock(standbyLock_);
    Close(standby_, 1 - ActiveIndex(), standbyOk_);
}

void DeviceChannels::ClosePending(TcpConnection& connection, PendingClose& pending,
                                  std::atomic<bool>& okFlag) {
    const int index = pending.index.exchange(-1);
    if (index < 0 || services_.sockets == nullptr) return;
    const auto& p = device_.params;
    // Without the pause of a failed exchange's close: nothing reconnects at once.
    CloseAndRemoveRoute(*services_.sockets, services_.routes, connection.socket,
                        index == 0 ? p.primaryIpAddress : p.secondaryIpAddress,
                        index == 0 ? p.primaryGatewayAddress : p.secondaryGatewayAddress);
    okFlag = false;
}

void DeviceChannels::TryClosePendingActive() {
    if (activeClose_.index < 0) return;
    std::unique_lock lock(exchangeLock_, std::try_to_lock);
    if (lock.owns_lock()) ClosePending(active_, activeClose_, activeOk_);
}

void DeviceChannels::RequestStop() {
    running_ = false;
    ++stops_;
    if (device_.params.modbusTcp == 0) return;
    activeClose_.index = ActiveIndex();
    standbyClose_.index = 1 - ActiveIndex();
    // Closed here only when no exchange holds the connection; otherwise its user closes it
    // as soon as the exchange has ended.
    TryClosePendingActive();
    std::unique_lock standby(standbyLock_, std::try_to_lock);
    if (standby.owns_lock()) ClosePending(standby_, standbyClose_, standbyOk_);
}

void DeviceChannels::FinishStop() {
    {
        std::lock_guard lock(exchangeLock_);
        ClosePending(active_, activeClose_, activeOk_);
    }
    std::lock_guard standby(standbyLock_);
    ClosePending(standby_, standbyClose_, standbyOk_);
}

void DeviceChannels::RemoveRoute(int index) {
    if (services_.routes == nullptr) return;
    const auto& p = device_.params;
    DeleteHostRoute(
        *services_.routes, DottedToAddress(index == 0 ? p.primaryIpAddress : p.secondaryIpAddress),
        DottedToAddress(index == 0 ? p.primaryGatewayAddress : p.secondaryGatewayAddress));
}

void DeviceChannels::SwitchChannel() {
    std::scoped_lock lock(exchangeLock_, standbyLock_);
    if (device_.params.modbusTcp != 0) std::swap(active_, standby_);
    ++swaps_;
    ClearOkFlags();
    SetActiveChannel(device_, ActiveChannelOf(device_) == 0 ? 1 : 0);
}

// ---- TCP exchange ----

int DeviceChannels::Failure(int index) {
    if (services_.sockets->LastErrorWasTimeout()) {
        counters_[index].AddTimeout();
        return -2;
    }
    counters_[index].AddCommError();
    return -1;
}

std::uint32_t DeviceChannels::Left(const Deadline& deadline) const {
    const std::uint32_t elapsed = services_.clock.TickCount() - deadline.start;
    return elapsed >= deadline.waitMs ? 0 : deadline.waitMs - elapsed;
}

void DeviceChannels::CutToAnswerTimeout(Deadline& deadline) const {
    const std::uint32_t timeout = device_.params.timeout;
    if (timeout < Left(deadline)) deadline = Deadline{services_.clock.TickCount(), timeout};
}

int DeviceChannels::Fill(TcpConnection& connection, std::uint8_t* buffer, std::size_t& have,
                         std::size_t target, const Deadline& deadline) {
    while (have < target) {
        const int r = services_.sockets->RecvWithin(
            connection.socket, buffer + have, static_cast<int>(target - have), Left(deadline));
        if (r <= 0) return r;
        have += static_cast<std::size_t>(r);
    }
    return 1;
}

int DeviceChannels::Skip(TcpConnection& connection, std::size_t count, const Deadline& deadline) {
    std::uint8_t scratch[512];
    while (count > 0) {
        std::size_t have = 0;
        const int r = Fill(connection, scratch, have, std::min(count, sizeof scratch), deadline);
        if (r <= 0) return r;
        count -= have;
    }
    return 1;
}

int DeviceChannels::ReceiveAnswer(TcpConnection& connection, std::uint16_t transaction,
                                  std::uint8_t* buffer, std::size_t answerLength, std::size_t& have,
                                  Deadline& deadline) {
    // Each receive takes at most what the answer still lacks, so bytes after a frame are not
    // taken before the frame's length is known.
    auto receiveHeader = [&] {
        while (have < kLengthFieldEnd) {
            const int r = services_.sockets->RecvWithin(connection.socket, buffer + have,
                                                        static_cast<int>(answerLength - have),
                                                        Left(deadline));
            if (r <= 0) return r;
            have += static_cast<std::size_t>(r);
        }
        return 1;
    };
    have = 0;
    int r = receiveHeader();
    if (r <= 0) return r;
    // Bytes ahead of the answer belong to earlier requests: whole frames that came too late
    // (another transaction identifier) are passed over, other bytes up to the start of this
    // request's answer are dropped. A controller that sends what is not the answer is
    // waited for no longer than its answer time-out from then on.
    for (int passes = 0; !MayAnswer(TransactionOf(buffer), transaction); ++passes) {
        CutToAnswerTimeout(deadline);
        if (passes == kMaxStaleFrames) return static_cast<int>(have);
        const std::size_t frame = FrameSizeOf(buffer);
        const bool staleFrame =
            buffer[2] == 0 && buffer[3] == 0 && frame >= kMinTcpFrame && frame <= kMaxTcpFrame;
        if (staleFrame && have <= frame) {
            r = Skip(connection, frame - have, deadline);
            if (r <= 0) return r;
            have = 0;
        } else {
            const std::size_t start = staleFrame ? frame : AnswerStart(buffer, have, transaction);
            std::memmove(buffer, buffer + start, have - start);
            have -= start;
        }
        r = receiveHeader();
        if (r <= 0) return r;
    }
    // The header tells how long the frame is: an answer that is shorter than expected (an
    // exception answer) is complete with what it announces; a longer one is taken up to the
    // expected length and judged there.
    const std::size_t frame = FrameSizeOf(buffer);
    const bool plausible =
        buffer[2] == 0 && buffer[3] == 0 && frame >= kMinTcpFrame && frame <= kMaxTcpFrame;
    if (!plausible) CutToAnswerTimeout(deadline);  // no answer of any request
    const std::size_t target =
        plausible && frame < answerLength ? std::max(frame, have) : answerLength;
    r = Fill(connection, buffer, have, target, deadline);
    if (r <= 0) return r;
    return static_cast<int>(have);
}

std::size_t DeviceChannels::AnswerStart(const std::uint8_t* buffer, std::size_t have,
                                        std::uint16_t transaction) {
    // An answer starts with the transaction identifier and the protocol identifier 0.
    for (std::size_t at = 1; at + 4 <= have; ++at) {
        if (TransactionOf(buffer + at) == transaction && buffer[at + 2] == 0 &&
            buffer[at + 3] == 0) {
            return at;
        }
    }
    // Not within the bytes received: keep the last three, which may begin it.
    return have > 3 ? have - 3 : have;
}

int DeviceChannels::ExchangeTcp(TcpConnection& connection, OMessage& message, int index) {
    PauseBeforeRequest();
    const int result = message.IsRtu() ? ExchangeRtuOverTcp(connection, message, index)
                                       : ExchangeTcpNow(connection, message, index);
    EndOfExchange();
    return result;
}

int DeviceChannels::ExchangeTcpNow(TcpConnection& connection, OMessage& message, int index) {
    auto& sockets = *services_.sockets;
    // One wait for the whole answer, from before the send: an answer in pieces, late
    // answers passed over and the rest of a long frame all fit in it, so that one exchange
    // never takes longer than the connection's wait, whatever the controller sends.
    Deadline deadline{services_.clock.TickCount(), sockets.ConnectionWaitMs()};
    const std::uint16_t answerLength = message.GetAnswerLength();
    // What waits on the connection now came before this request was sent: a late answer or
    // the rest of a frame, never the answer to it.
    sockets.DiscardPending(connection.socket);
    // Each request carries its own transaction identifier, so that an answer that comes
    // too late from a controller that echoes it is recognised as such.
    std::array<std::uint8_t, OMessage::kBufferSize> request{};
    auto frame = message.Frame();
    std::copy(frame.begin(), frame.end(), request.begin());
    const RequestIdentity identity = IdentityOf(message);
    const std::uint16_t transaction = NextTransaction(connection.lastTransaction);
    connection.lastTransaction = transaction;
    if (frame.size() >= 2) {
        request[0] = static_cast<std::uint8_t>(transaction >> 8);
        request[1] = static_cast<std::uint8_t>(transaction & 0xFF);
    }
    message.MarkOnWire();
    int sent = sockets.SendTimed(connection.socket, request.data(), static_cast<int>(frame.size()),
                                 device_.params.timeout);
    message.Reset();
    if (sent <= 0) return Failure(index);
    counters_[index].AddSent();

    std::array<std::uint8_t, OMessage::kBufferSize> answer{};
    // An answer is at least a header; a request that expects less cannot be answered.
    const std::size_t expected = std::min<std::size_t>(answerLength, answer.size());
    std::size_t have = 0;
    int r = expected < kLengthFieldEnd
                ? -1
                : ReceiveAnswer(connection, transaction, answer.data(), expected, have, deadline);
    if (r <= 0) return Failure(index);

    // Read the rest of a frame longer than expected, so that it cannot become the start of
    // the next answer (what is left is dropped before the next request).
    if (have >= kLengthFieldEnd) {
        const std::size_t frameSize = FrameSizeOf(answer.data());
        if (frameSize > have && frameSize <= kMaxTcpFrame)
            Skip(connection, frameSize - have, deadline);
    }

    // Only bytes that carry this request's transaction identifier (or 0) can be its answer,
    // and only when they answer what was asked.
    if (have == answerLength && MayAnswer(TransactionOf(answer.data()), transaction)) {
        message.SetAnswerLength(answerLength);
        message.StoreAnswer(std::span(answer.data(), have), services_.clock.NowUtc());
        if (AnswersRequest(identity, message)) {
            counters_[index].AddReceived();
            return static_cast<int>(have);
        }
        message.Reset();
    }
    counters_[index].AddCommError();
    return static_cast<int>(have);
}

MessageFraming DeviceChannels::TcpFraming() const {
    return device_.params.rtuOverTcp != 0 ? MessageFraming::kRtu : MessageFraming::kTcp;
}

int DeviceChannels::ExchangeRtuOverTcp(TcpConnection& connection, OMessage& message, int index) {
    auto& sockets = *services_.sockets;
    const std::uint16_t answerLength = message.GetAnswerLength();
    // As on a serial line: what waits came before this request (a late answer, noise from
    // the line) and is purged; an answer is taken only with exactly the expected length, a
    // good check field and the request's address and function.
    sockets.DiscardPending(connection.socket);
    std::array<std::uint8_t, OMessage::kBufferSize> request{};
    const auto frame = message.Frame();
    std::copy(frame.begin(), frame.end(), request.begin());
    const RequestIdentity identity = IdentityOf(message);
    message.MarkOnWire();
    const int sent = sockets.SendTimed(connection.socket, request.data(),
                                       static_cast<int>(frame.size()), device_.params.timeout);
    if (sent <= 0) {
        message.Reset();
        return Failure(index);
    }
    counters_[index].AddSent();
    // A broadcast gets no answer: it stays the complete request.
    if (answerLength == 0) return static_cast<int>(frame.size());
    message.Reset();

    // The line's wait: the answer time-out and 1 ms per expected byte, within the connection's.
    const Deadline deadline{
        services_.clock.TickCount(),
        std::min<std::uint32_t>(sockets.ConnectionWaitMs(), device_.params.timeout + answerLength)};
    std::array<std::uint8_t, OMessage::kBufferSize> answer{};
    const std::size_t expected = std::min<std::size_t>(answerLength, answer.size());
    std::size_t have = 0;
    // An exception answer (address, function with the exception bit, code, check field) is
    // complete at 5 bytes; it is refused by its length, as on the line.
    constexpr std::size_t kExceptionFrame = 5;
    int r = Fill(connection, answer.data(), have, std::min<std::size_t>(expected, 2), deadline);
    std::size_t target = expected;
    if (r > 0 && have >= 2 && (answer[1] & OMessage::kExceptionBit) != 0)
        target = std::min(expected, kExceptionFrame);
    if (r > 0) r = Fill(connection, answer.data(), have, target, deadline);
    if (r <= 0 && have == 0) return Failure(index);
    if (have == answerLength) {
        message.SetAnswerLength(answerLength);
        message.StoreAnswer(std::span(answer.data(), have), services_.clock.NowUtc());
        if (message.IsValid() && AnswersRequest(identity, message)) {
            counters_[index].AddReceived();
            return static_cast<int>(have);
        }
        message.Reset();
    }
    // Part of an answer, or a wrong one, fails the request but keeps the connection; the
    // rest is purged before the next request.
    counters_[index].AddCommError();
    return static_cast<int>(have);
}

OMessage* DeviceChannels::TransactShared(OMessage* message) {
    std::unique_lock lock(exchangeLock_);
    const std::uint32_t stopsBefore = stops_;
    if (!running_ || device_.params.modbusTcp == 0 || services_.sockets == nullptr) {
        message->Reset();
        return message;
    }
    const auto overtaken = [&] { return stops_ != stopsBefore; };
    const ExchangeActivity::Scope onWire(services_.activity);
    const int index = ActiveIndex();
    const auto& p = device_.params;
    const std::string& address = index == 0 ? p.primaryIpAddress : p.secondaryIpAddress;
    SharedTcpConnections::Entry& shared = services_.sharedConnections->Of(
        address, ModbusTcpPort(services_.machineSettings, address), *services_.sockets);
    bool failed = true;
    {
        std::lock_guard sharedLock(shared.lock);
        TcpConnection& connection = shared.connection;
        if (!connection.socket.Empty() || Connect(connection, index)) {
            const bool diagnostic = message->GetFunction() == function_code::kDiagnostics;
            const int result = ExchangeTcp(connection, *message, index);
            failed = result <= 0;
            if (result == -2 && !diagnostic && !overtaken()) {
                auto probe = BuildDiagnosticRequest(TcpFraming(), Slave());
                failed = !probe || ExchangeTcp(connection, *probe, index) <= 0;
            }
            // A failed exchange leaves the stream in an unknown state for every user.
            if (failed) {
                CloseAndRemoveRoute(
                    *services_.sockets, services_.routes, connection.socket, address,
                    index == 0 ? p.primaryGatewayAddress : p.secondaryGatewayAddress);
            }
        }
    }
    if (failed) message->Reset();
    // What the stop overtook belongs to no run: no report.
    if (overtaken()) {
        message->Reset();
        return message;
    }
    activeOk_ = !failed;
    lock.unlock();
    services_.observer.CheckComm(device_, failed, kActiveChannel);
    return message;
}

OMessage* DeviceChannels::TransactTcp(OMessage* message) {
    if (message == nullptr) return nullptr;
    if (device_.params.sharedConnection != 0 && services_.sharedConnections != nullptr)
        return TransactShared(message);
    std::unique_lock lock(exchangeLock_);
    ClosePending(active_, activeClose_, activeOk_);
    // Read before the running flag, which a stop clears first: a stop after the check below
    // always shows as overtaken.
    const std::uint32_t stopsBefore = stops_;
    if (!running_ || device_.params.modbusTcp == 0 || services_.sockets == nullptr) {
        message->Reset();
        return message;
    }
    const auto overtaken = [&] { return stops_ != stopsBefore; };
    const ExchangeActivity::Scope onWire(services_.activity);
    const int index = ActiveIndex();
    if (active_.socket.Empty() && !ConnectActive(index)) message->Reset();
    if (overtaken()) {
        // The device stopped during the connect: the connection belongs to no run.
        message->Reset();
        ClosePending(active_, activeClose_, activeOk_);
        return message;
    }
    if (active_.socket.Empty()) {
        activeOk_ = false;
        // The supervision takes TagDataLock, which comes before the exchange lock.
        lock.unlock();
        services_.observer.CheckComm(device_, true, kActiveChannel);
        return message;
    }
    const bool diagnostic = message->GetFunction() == function_code::kDiagnostics;
    int result = ExchangeTcp(active_, *message, index);
    bool failed = result <= 0;
    // A device that stopped meanwhile gets no probe: its exchange ends here.
    if (result == -2 && !diagnostic && !overtaken()) {
        auto probe = BuildDiagnosticRequest(TcpFraming(), Slave());
        failed = !probe || ExchangeTcp(active_, *probe, index) <= 0;
    }
    if (overtaken()) {
        // What the stop overtook belongs to no run: no report, and the connection closes.
        message->Reset();
        ClosePending(active_, activeClose_, activeOk_);
        return message;
    }
    if (failed) {
        message->Reset();
        CloseActive();
    }
    activeOk_ = !failed;
    lock.unlock();
    // A stop that came after the check above found the lock held: its close is done here.
    TryClosePendingActive();
    services_.observer.CheckComm(device_, failed, kActiveChannel);
    return message;
}

bool DeviceChannels::ProbeStandbyTcp(const std::function<void()>& waitPeriod) {
    if (services_.sockets == nullptr) return false;
    std::unique_lock lock(standbyLock_);
    ClosePending(standby_, standbyClose_, standbyOk_);
    const std::uint32_t stopsBefore = stops_;
    const auto overtaken = [&] {
        if (stops_ == stopsBefore) return false;
        ClosePending(standby_, standbyClose_, standbyOk_);
        return true;
    };
    const std::uint32_t generation = swaps_;
    const int index = 1 - ActiveIndex();
    bool failed = false;
    int rounds = 1;
    if (standby_.socket.Empty()) {
        const ExchangeActivity::Scope onWire(services_.activity);
        failed = !ConnectStandby(index);
        rounds = 3;
    }
    for (int round = 0; !failed && round < rounds && !overtaken(); ++round) {
        auto probe = BuildDiagnosticRequest(TcpFraming(), Slave());
        bool probeFailed = !probe;
        if (probe) {
            const ExchangeActivity::Scope onWire(services_.activity);
            probeFailed = ExchangeTcp(standby_, *probe, index) <= 0;
        }
        if (probeFailed) {
            if (overtaken()) return false;
            Close(standby_, index, standbyOk_);
            failed = true;
            break;
        }
        // The wait does not hold the standby connection, so that a channel switch need not
        // wait for it; a switch meanwhile ends this probe of the old standby channel, and so
        // does a stop.
        lock.unlock();
        if (waitPeriod) waitPeriod();
        lock.lock();
        if (swaps_ != generation || overtaken()) return false;
    }
    // A stop during the probe: its result belongs to no run.
    if (overtaken()) return false;
    standbyOk_ = !failed;
    lock.unlock();
    services_.observer.CheckComm(device_, failed, kStandbyChannel);
    return !failed;
}

}  // namespace velk
