#include "app/opcua/ua_front.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <unordered_map>
#include <utility>

#include "core/trace_file.h"
#include "model/document_services.h"
#include "opcua/binary_reader.h"
#include "opcua/service_headers.h"
#include "opcua/ua_tcp_messages.h"
#include "platform/clock.h"
#include "platform/task_pool.h"
#include "platform/tcp_sockets.h"
#include "platform/wake_event.h"

namespace velk {
namespace {

constexpr std::uint32_t kTimerCheckMs = 1000;
// The longest wait of one pass, so that a clock stepped by hand is seen within it.
constexpr std::uint32_t kLongestWaitMs = 1000;
constexpr std::size_t kReadSize = 65536;
constexpr std::size_t kWorkers = 4;
constexpr auto kPoolStopWait = std::chrono::milliseconds(3000);

std::string Endpoint(const std::string& address, std::uint16_t port) {
    return address + ":" + std::to_string(port);
}

std::string Period(std::uint32_t ms) {
    return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

// Milliseconds from now to a tick, 0 when it is past.
std::uint32_t MsUntil(std::uint32_t now, std::uint32_t due) {
    const auto left = static_cast<std::int32_t>(due - now);
    return left > 0 ? static_cast<std::uint32_t>(left) : 0;
}

// The request handle of an encoded response (type id, then its ResponseHeader), for the
// ServiceFault that replaces a response too large to send.
std::uint32_t RequestHandleOf(std::span<const std::uint8_t> message) {
    ua::BinaryReader reader(message, {});
    ua::NodeId typeId;
    ua::ResponseHeader header;
    ua::Decode(reader, typeId);
    ua::Decode(reader, header);
    return reader.Ok() ? header.requestHandle : 0;
}

}  // namespace

class UaFront::Loop final : public ua::IChannelOutput, public ua::IServiceWork {
  public:
    Loop(UaFront& front, const UaFrontOptions& options, std::unique_ptr<IWakeEvent> wake)
        : front_(front),
          services_(front.services_),
          options_(options),
          wake_(std::move(wake)),
          pool_("OpcUaWork", kWorkers) {}

    int Run();
    // A worker still busy after the stop's wait may still post to the loop.
    bool WorkersLeft() const { return workersLeft_; }
    void RequestStop() {
        stopping_ = true;
        wake_->Signal();
    }

    // IChannelOutput: on the front's thread, from the handler.
    void SendResponse(std::uint32_t channelId, std::uint32_t requestId,
                      std::vector<std::uint8_t> message) override;
    // IServiceWork.
    bool Launch(std::function<void()> work) override {
        return !stopping_ && pool_.Post(std::move(work));
    }
    void Post(std::function<void()> task) override {
        {
            std::lock_guard guard(inboxLock_);
            if (inboxClosed_) return;
            inbox_.push_back(std::move(task));
        }
        wake_->Signal();
    }

  private:
    struct Listener {
        std::string address;
        SocketHolder socket;
        std::uint32_t nextTry = 0;
        bool failing = false;
    };
    struct Connection {
        SocketHolder socket;
        std::string peer;
        std::unique_ptr<ua::ServerSecureChannel> channel;
        std::vector<std::uint8_t> unsent;
        std::size_t sentOffset = 0;
        bool closed = false;
        std::size_t Queued() const { return unsent.size() - sentOffset; }
    };

    void TryListen(Listener& listener, std::uint32_t now);
    void Accept(Listener& listener);
    void Receive(Connection& connection);
    // Hands the channel's requests to the handler and queues its output; closes what the
    // channel closed.
    void Pump(Connection& connection);
    void Queue(Connection& connection, std::vector<std::uint8_t> bytes);
    void Flush(Connection& connection);
    void Close(Connection& connection, const std::string& why);
    void RunInbox();
    void PublishPorts();
    std::uint32_t NextChannelId();
    std::uint32_t WaitMs(std::uint32_t now) const;
    void OnSessionCount(std::size_t count);
    void Trace(const std::string& line) const { front_.Trace(line); }

    UaFront& front_;
    const UaFrontServices& services_;
    const UaFrontOptions options_;
    const std::unique_ptr<IWakeEvent> wake_;
    TaskPool pool_;
    std::atomic<bool> stopping_{false};
    std::mutex inboxLock_;  // a leaf: guards the two below
    std::deque<std::function<void()>> inbox_;
    bool inboxClosed_ = false;

    std::unique_ptr<IUaRequestHandler> handler_;
    std::vector<Listener> listeners_;
    std::vector<std::unique_ptr<Connection>> connections_;
    std::unordered_map<std::uint32_t, Connection*> byChannel_;
    std::vector<std::uint8_t> readBuffer_ = std::vector<std::uint8_t>(kReadSize);
    std::uint32_t lastChannelId_ = 0;
    bool waitFailed_ = false;
    bool workersLeft_ = false;
    std::uint32_t lastTimerCheck_ = 0;
    std::size_t countedSessions_ = 0;
};

int UaFront::Loop::Run() {
    const std::vector<std::string> addresses = options_.bindAddresses.empty()
                                                   ? std::vector<std::string>{"0.0.0.0"}
                                                   : options_.bindAddresses;
    const std::uint32_t start = services_.clock.TickCount();
    for (const std::string& address : addresses) listeners_.push_back(Listener{address, {}, start});
    handler_ = services_.makeHandler(UaHandlerContext{
        options_.server, *this, *this, [this](const std::string& line) { Trace(line); },
        [this](std::size_t count) { OnSessionCount(count); }});
    lastTimerCheck_ = start;

    std::vector<SocketHolder> holders;
    std::vector<bool> wantWrite, readable, writable;
    while (!stopping_) {
        std::uint32_t now = services_.clock.TickCount();
        for (Listener& listener : listeners_) {
            if (listener.socket.Empty() && MsUntil(now, listener.nextTry) == 0) {
                TryListen(listener, now);
            }
        }

        // The wake, the listeners, then the connections.
        holders.assign(1, wake_->Holder());
        wantWrite.assign(1, false);
        for (const Listener& listener : listeners_) {
            holders.push_back(listener.socket);
            wantWrite.push_back(false);
        }
        for (const auto& connection : connections_) {
            holders.push_back(connection->socket);
            wantWrite.push_back(connection->Queued() > 0);
        }
        const int ready =
            services_.sockets.WaitReady(holders, wantWrite, WaitMs(now), readable, writable);
        if (stopping_) break;
        if (ready < 0) {
            // Not seen in practice; told once, and the next pass waits its time on the wake.
            if (!waitFailed_)
                Trace("OPC UA: waiting on the sockets failed: " +
                      services_.sockets.LastErrorText());
            waitFailed_ = true;
            std::vector<bool> none;
            services_.sockets.WaitReady(std::span(holders).first(1), none, WaitMs(now), readable,
                                        writable);
            continue;
        }
        waitFailed_ = false;
        if (ready > 0 && readable[0]) wake_->Clear();
        RunInbox();

        const std::size_t firstConnection = 1 + listeners_.size();
        const std::size_t polled = connections_.size();
        for (std::size_t i = 0; ready > 0 && i < polled; ++i) {
            Connection& connection = *connections_[i];
            if (connection.closed) continue;
            if (writable[firstConnection + i]) Flush(connection);
            if (!connection.closed && readable[firstConnection + i]) Receive(connection);
        }
        for (std::size_t i = 0; ready > 0 && i < listeners_.size(); ++i) {
            if (readable[1 + i] && !listeners_[i].socket.Empty()) Accept(listeners_[i]);
        }

        now = services_.clock.TickCount();
        if (now - lastTimerCheck_ >= kTimerCheckMs) {
            lastTimerCheck_ = now;
            for (const auto& connection : connections_) {
                if (connection->closed) continue;
                connection->channel->CheckTimers();
                Pump(*connection);
            }
        }
        const FileTime due = handler_->NextDue();
        if (due != 0 && due <= services_.clock.NowUtc()) handler_->Tick();

        std::erase_if(connections_, [](const auto& c) { return c->closed; });
        front_.connectionCount_ = connections_.size();
    }

    // Connections first (no more requests), then the workers, then the handler, which the
    // workers' posted answers would otherwise reach after it is gone.
    for (const auto& connection : connections_) {
        if (!connection->closed) Close(*connection, {});
    }
    connections_.clear();
    byChannel_.clear();
    front_.connectionCount_ = 0;
    for (Listener& listener : listeners_) services_.sockets.CloseSocket(listener.socket);
    PublishPorts();
    workersLeft_ = !pool_.Stop(kPoolStopWait);
    {
        std::lock_guard guard(inboxLock_);
        inboxClosed_ = true;
        inbox_.clear();
    }
    handler_.reset();
    OnSessionCount(0);
    return 0;
}

std::uint32_t UaFront::Loop::WaitMs(std::uint32_t now) const {
    std::uint32_t wait = std::min(kLongestWaitMs, MsUntil(now, lastTimerCheck_ + kTimerCheckMs));
    for (const Listener& listener : listeners_) {
        if (listener.socket.Empty()) wait = std::min(wait, MsUntil(now, listener.nextTry));
    }
    const FileTime due = handler_->NextDue();
    if (due != 0) {
        const FileTime utc = services_.clock.NowUtc();
        const FileTime left =
            due > utc ? (due - utc + kFileTimeTicksPerMs - 1) / kFileTimeTicksPerMs : 0;
        wait = static_cast<std::uint32_t>(std::min<FileTime>(wait, left));
    }
    return wait;
}

void UaFront::Loop::TryListen(Listener& listener, std::uint32_t now) {
    ITcpSockets& sockets = services_.sockets;
    SocketHolder fresh;
    std::string reason;
    if (!sockets.CreateNonBlocking(fresh)) {
        reason = sockets.LastErrorText();
    } else if (!sockets.Bind(fresh, listener.address, options_.port) ||
               !sockets.StartListening(fresh)) {
        reason = sockets.LastErrorText();
        sockets.CloseSocket(fresh);
    }
    if (!fresh.Empty()) {
        listener.socket = fresh;
        listener.failing = false;
        // Published before the trace line, so that whoever reads the line finds the port.
        PublishPorts();
        Trace("OPC UA: listening on " +
              Endpoint(listener.address, sockets.LocalPort(listener.socket)));
        return;
    }
    listener.nextTry = now + options_.bindRetryMs;
    // A port that stays in use is told once, not at every retry.
    if (!listener.failing) {
        Trace("OPC UA: cannot listen on " + Endpoint(listener.address, options_.port) + ": " +
              reason + "; retrying every " + Period(options_.bindRetryMs));
    }
    listener.failing = true;
}

void UaFront::Loop::PublishPorts() {
    std::vector<std::uint16_t> ports;
    for (const Listener& listener : listeners_) {
        if (!listener.socket.Empty()) ports.push_back(services_.sockets.LocalPort(listener.socket));
    }
    std::lock_guard guard(front_.portsLock_);
    front_.ports_ = std::move(ports);
}

void UaFront::Loop::Accept(Listener& listener) {
    ITcpSockets& sockets = services_.sockets;
    SocketHolder fresh;
    const int accepted = sockets.AcceptTimed(listener.socket, fresh);
    if (accepted < 0) {
        // The listening socket failed: set up again at once, its connections stay.
        Trace("OPC UA: listening on " + Endpoint(listener.address, options_.port) +
              " failed: " + sockets.LastErrorText());
        sockets.CloseSocket(listener.socket);
        listener.nextTry = services_.clock.TickCount();
        PublishPorts();
        return;
    }
    if (accepted == 0) return;
    const std::string peer = sockets.PeerAddress(fresh);
    std::size_t open = 0;
    for (const auto& connection : connections_) open += connection->closed ? 0 : 1;
    if (open >= options_.maxConnections) {
        Trace("OPC UA: connection from " + peer + " refused: " + std::to_string(open) +
              " connections are open");
        // Told why, if the client's socket takes it at once; never waited for.
        const auto error = ua::EncodeMessage(ua::ErrorMessage{
            ua::kBadTcpServerTooBusy, "the server has no room for more connections"});
        sockets.MakeNonBlocking(fresh);
        sockets.SendTimed(fresh, error.data(), static_cast<int>(error.size()), 0);
        sockets.CloseSocket(fresh);
        return;
    }
    if (!sockets.MakeNonBlocking(fresh)) {
        sockets.CloseSocket(fresh);
        return;
    }
    auto connection = std::make_unique<Connection>();
    connection->socket = fresh;
    connection->peer = peer;
    const std::uint32_t id = NextChannelId();
    connection->channel =
        std::make_unique<ua::ServerSecureChannel>(services_.clock, id, options_.channel);
    byChannel_[id] = connection.get();
    connections_.push_back(std::move(connection));
    front_.connectionCount_ = connections_.size();
}

std::uint32_t UaFront::Loop::NextChannelId() {
    do {
        ++lastChannelId_;
    } while (lastChannelId_ == 0 || byChannel_.contains(lastChannelId_));
    return lastChannelId_;
}

void UaFront::Loop::Receive(Connection& connection) {
    // At most one receive buffer at a time, as the channel takes it.
    const std::uint32_t buffer = connection.channel->limits().receiveBufferSize;
    const std::size_t size = std::min<std::size_t>(
        kReadSize, buffer != 0 ? buffer : options_.channel.limits.receiveBufferSize);
    const int received = services_.sockets.RecvTimed(connection.socket, readBuffer_.data(),
                                                     static_cast<int>(size), 0);
    if (received == -2) return;
    if (received <= 0) {
        // The client went: nothing to tell, unless it left a channel half opened.
        Close(connection, {});
        return;
    }
    connection.channel->OnReceived({readBuffer_.data(), static_cast<std::size_t>(received)});
    Pump(connection);
}

void UaFront::Loop::Pump(Connection& connection) {
    ua::ServerSecureChannel& channel = *connection.channel;
    std::vector<ua::ServiceRequest> requests = channel.TakeRequests();
    if (!requests.empty()) {
        ua::ChannelInfo info;
        info.channelId = channel.channelId();
        info.endpointUrl = channel.endpointUrl();
        info.securityPolicyUri = std::string(ua::kSecurityPolicyNoneUri);
        info.securityMode = ua::MessageSecurityMode::kNone;
        info.peerAddress = connection.peer;
        for (ua::ServiceRequest& request : requests) {
            handler_->OnRequest(info, std::move(request));
            // The handler may have answered at once and closed the connection doing so.
            if (connection.closed) return;
        }
    }
    Queue(connection, channel.TakeOutput());
    if (connection.closed) return;
    if (channel.state() == ua::ServerSecureChannel::State::kClosed) {
        // The channel's last words (an Error) go out as far as the socket takes them now.
        Flush(connection);
        const bool error = channel.closeReason() != ua::kGood;
        Close(connection, error ? channel.closeText() + " (" +
                                      std::string(ua::StatusCodeName(channel.closeReason())) + ")"
                                : std::string());
    }
}

void UaFront::Loop::Queue(Connection& connection, std::vector<std::uint8_t> bytes) {
    if (bytes.empty() || connection.closed) return;
    if (connection.Queued() == 0) {
        connection.unsent = std::move(bytes);
        connection.sentOffset = 0;
    } else {
        if (connection.Queued() + bytes.size() > options_.maxSendQueueBytes) {
            Close(connection, "the client does not take its responses (" +
                                  std::to_string(connection.Queued() + bytes.size()) +
                                  " bytes unsent)");
            return;
        }
        if (connection.sentOffset > connection.unsent.size() / 2) {
            connection.unsent.erase(
                connection.unsent.begin(),
                connection.unsent.begin() + static_cast<std::ptrdiff_t>(connection.sentOffset));
            connection.sentOffset = 0;
        }
        connection.unsent.insert(connection.unsent.end(), bytes.begin(), bytes.end());
    }
    Flush(connection);
}

void UaFront::Loop::Flush(Connection& connection) {
    while (!connection.closed && connection.Queued() > 0) {
        const std::size_t left = std::min<std::size_t>(connection.Queued(), 1u << 30);
        const int sent = services_.sockets.SendTimed(
            connection.socket, connection.unsent.data() + connection.sentOffset,
            static_cast<int>(left), 0);
        if (sent == -2 || sent == 0) return;  // the socket is full: the loop waits for room
        if (sent < 0) {
            Close(connection, {});
            return;
        }
        connection.sentOffset += static_cast<std::size_t>(sent);
    }
    if (connection.Queued() == 0) {
        connection.unsent.clear();
        connection.sentOffset = 0;
    }
}

void UaFront::Loop::Close(Connection& connection, const std::string& why) {
    if (connection.closed) return;
    connection.closed = true;
    if (!why.empty()) Trace("OPC UA: connection from " + connection.peer + " closed: " + why);
    // The handler first: a client that sees its socket close finds the channel gone too.
    const std::uint32_t id = connection.channel->channelId();
    byChannel_.erase(id);
    if (handler_ && !stopping_) handler_->OnChannelClosed(id);
    services_.sockets.CloseSocket(connection.socket);
    connection.unsent = {};
    connection.sentOffset = 0;
}

void UaFront::Loop::SendResponse(std::uint32_t channelId, std::uint32_t requestId,
                                 std::vector<std::uint8_t> message) {
    const auto found = byChannel_.find(channelId);
    if (found == byChannel_.end()) return;
    Connection& connection = *found->second;
    if (connection.closed) return;
    ua::ServerSecureChannel& channel = *connection.channel;
    if (channel.SendResponse(requestId, message) == ua::kBadResponseTooLarge) {
        ua::ServiceFault fault;
        fault.responseHeader.timestamp =
            ua::DateTime{static_cast<std::int64_t>(services_.clock.NowUtc())};
        fault.responseHeader.requestHandle = RequestHandleOf(message);
        fault.responseHeader.serviceResult = ua::kBadResponseTooLarge;
        channel.SendResponse(requestId, ua::EncodeServiceMessage(fault));
    }
    Queue(connection, channel.TakeOutput());
}

void UaFront::Loop::RunInbox() {
    std::deque<std::function<void()>> tasks;
    {
        std::lock_guard guard(inboxLock_);
        tasks.swap(inbox_);
    }
    for (auto& task : tasks) task();
}

void UaFront::Loop::OnSessionCount(std::size_t count) {
    // Each session is a client for the device threads, as each DA server object is.
    while (countedSessions_ < count) {
        services_.clients.AddClient();
        ++countedSessions_;
    }
    while (countedSessions_ > count) {
        services_.clients.RemoveClient();
        --countedSessions_;
    }
}

UaFront::UaFront(UaFrontServices services) : services_(std::move(services)) {}

UaFront::~UaFront() { Stop(); }

void UaFront::Trace(const std::string& line) const {
    if (services_.trace) {
        services_.trace(line);
    } else {
        velk::Trace(line);
    }
}

bool UaFront::Start(const UaFrontOptions& options) {
    if (thread_) return false;
    auto wake = MakeWakeEvent();
    if (!wake) {
        Trace("OPC UA: not started: no wake event for its thread");
        return false;
    }
    loop_ = std::make_unique<Loop>(*this, options, std::move(wake));
    thread_ = std::make_unique<WorkerThread>("OpcUa");
    Loop& loop = *loop_;
    if (!thread_->Start([&loop](MessageQueue&) { return loop.Run(); })) {
        thread_.reset();
        loop_.reset();
        return false;
    }
    return true;
}

void UaFront::Stop() {
    if (!thread_) return;
    loop_->RequestStop();
    thread_->PostQuit();
    // The loop's own waits are bounded: the workers' stop and one pass.
    if (!thread_->Join(std::chrono::milliseconds(10'000))) {
        Trace("OPC UA: the OpcUa thread did not end in time");
        thread_.reset();
        // Its loop stays with it: the abandoned thread may still reach it.
        static_cast<void>(loop_.release());
        return;
    }
    thread_.reset();
    if (loop_->WorkersLeft()) {
        // A service call still waits on a controller; its answer's post must find the loop.
        Trace("OPC UA: a service call did not end in time; its worker is left to end alone");
        static_cast<void>(loop_.release());
    } else {
        loop_.reset();
    }
    std::lock_guard guard(portsLock_);
    ports_.clear();
}

std::vector<std::uint16_t> UaFront::ListeningPorts() const {
    std::lock_guard guard(portsLock_);
    return ports_;
}

}  // namespace velk
