#include "redundancy/redundant_listener_thread.h"

#include <algorithm>
#include <string>
#include <vector>

#include "modbus/ip_address_text.h"
#include "platform/clock.h"
#include "redundancy/packet_reassembler.h"
#include "redundancy/received_packet_queue.h"
#include "redundancy/redundancy_packets.h"
#include "redundancy/redundant_client_thread.h"

namespace velk {
namespace {

constexpr std::size_t kRefusalMemory = 256;

}  // namespace

int RedundantListenerThread::Run(MessageQueue& queue) {
    services_.trace("RedundantListenerThread is starting");
    PauseOn(queue, kLinkStartPauseMs);
    SocketHolder listening;
    for (;;) {
        Message message;
        if (queue.Peek(message) && message.id == WM_QUIT) break;
        // Connections already accepted are served while the listening socket is set up again.
        if (listening.Empty() && !OpenListeningSocket(listening) && connections_.empty()) {
            PauseOn(queue, kListenRetryPauseMs);
            continue;
        }
        if (!ServeOnce(listening)) Sockets().CloseSocket(listening);  // set up again next pass
    }
    for (Connection& connection : connections_) Close(connection);
    connections_.clear();
    Sockets().CloseSocket(listening);
    services_.trace("RedundantListenerThread is finished");
    return 0;
}

void RedundantListenerThread::Fail(SocketHolder& holder, const char* line) {
    Sockets().CloseSocket(holder);
    // A port that stays in use would otherwise write a line every few seconds.
    if (lastFailure_ != line) services_.trace(line);
    lastFailure_ = line;
}

bool RedundantListenerThread::OpenListeningSocket(SocketHolder& listening) {
    const RedundancyLinkSettings settings = services_.settings();
    if (!Sockets().CreateNonBlocking(listening)) {
        Fail(listening, "RedundantListenerThread returned: socket create failed.");
        return false;
    }
    // With a gateway address the link listens on that interface only; an address that is
    // not valid makes the bind fail rather than open the port on every interface.
    const std::string address = settings.alternateGateway.empty()
                                    ? std::string("0.0.0.0")
                                    : AddressToDotted(DottedToAddress(settings.alternateGateway));
    if (DottedToAddress(address) == kInvalidAddress ||
        !Sockets().Bind(listening, address, settings.port)) {
        Fail(listening, "RedundantListenerThread returned: socket bind failed.");
        return false;
    }
    if (!Sockets().StartListening(listening)) {
        Fail(listening, "RedundantListenerThread returned: socket listen failed.");
        return false;
    }
    lastFailure_.clear();
    services_.trace("RedundantListenerThread: Redundant thread listen on " +
                    std::to_string(settings.port));
    return true;
}

bool RedundantListenerThread::FromPeer(const SocketHolder& connection) {
    const std::string peer = Sockets().PeerAddress(connection);
    const RedundancyLinkSettings settings = services_.settings();
    const std::uint32_t expected = DottedToAddress(settings.alternateServer);
    const std::uint32_t from = peer.empty() ? kInvalidAddress : DottedToAddress(peer);
    if (from != kInvalidAddress && from == expected) return true;

    const std::uint32_t now = services_.clock.TickCount();
    if (refusedAt_.size() >= kRefusalMemory) {
        std::erase_if(refusedAt_, [now](const auto& entry) {
            return now - entry.second >= kRefusalTraceIntervalMs;
        });
    }
    const auto known = refusedAt_.find(from);
    if (known != refusedAt_.end() && now - known->second < kRefusalTraceIntervalMs) return false;
    if (refusedAt_.size() < kRefusalMemory || known != refusedAt_.end()) refusedAt_[from] = now;
    services_.trace("Redundant communication: connection from " +
                    (peer.empty() ? std::string("an unknown address") : peer) +
                    " refused, it is not the redundant server (" + settings.alternateServer + ")");
    return false;
}

void RedundantListenerThread::Queue(std::span<const std::uint8_t> packet) {
    const bool dropped =
        received_.Push(std::make_unique<ReceivedPacket>(packet, services_.clock.TickCount()));
    if (dropped && !overflowing_) {
        services_.trace(
            "Redundant communication: the received-packet queue is full, the oldest packets are "
            "dropped");
    }
    overflowing_ = dropped;
}

bool RedundantListenerThread::ServeOnce(SocketHolder& listening) {
    std::vector<SocketHolder> sockets{listening};
    for (const Connection& connection : connections_) sockets.push_back(connection.socket);
    std::vector<bool> ready;
    const int waited = Sockets().WaitReadable(sockets, kListenerPollSliceMs, ready);
    bool listeningFailed = waited < 0;

    // Each connection takes what it has in this pass; none waits for another.
    std::vector<bool> done(connections_.size(), false);
    for (std::size_t i = 0; waited > 0 && i < connections_.size(); ++i) {
        if (ready[i + 1]) done[i] = !Read(connections_[i]);
    }
    const std::uint32_t now = services_.clock.TickCount();
    for (std::size_t i = connections_.size(); i-- > 0;) {
        // A packet still incomplete when the wait is over is lost with its connection.
        if (done[i] || now - connections_[i].waitingSince >= kListenerReceiveWaitMs) {
            Close(connections_[i]);
            connections_.erase(connections_.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    if (waited > 0 && ready[0] && !listening.Empty()) Accept(listening, listeningFailed);

    // The client thread hears of packets as they come, not only when their connection ends.
    if (queued_) {
        queued_ = false;
        notifyClient_();
    }
    return !listeningFailed;
}

void RedundantListenerThread::Accept(SocketHolder& listening, bool& listeningFailed) {
    SocketHolder fresh;
    const int accepted = Sockets().AcceptTimed(listening, fresh);
    if (accepted < 0) {
        listeningFailed = true;
        return;
    }
    if (accepted == 0) return;
    // Others are closed unread. Non-blocking, so that a read takes only what is there.
    if (!FromPeer(fresh) || !Sockets().MakeNonBlocking(fresh)) {
        Sockets().CloseSocket(fresh);
        return;
    }
    const std::uint32_t now = services_.clock.TickCount();
    if (connections_.size() >= kListenerMaxConnections) {
        // The peer's new connection is the one that will bring something; the one that has
        // waited longest for a whole packet makes room for it.
        const auto stalest = std::max_element(
            connections_.begin(), connections_.end(), [now](const auto& a, const auto& b) {
                return now - a.waitingSince < now - b.waitingSince;
            });
        Close(*stalest);
        connections_.erase(stalest);
    }
    connections_.push_back(Connection{fresh, {}, now});
}

bool RedundantListenerThread::Read(Connection& connection) {
    std::uint8_t buffer[kListenerReadSize];
    const int received =
        Sockets().RecvTimed(connection.socket, buffer, static_cast<int>(kListenerReadSize), 0);
    if (received == -2) return true;  // nothing to take after all
    if (received < 0) return false;   // error: what is incomplete is lost
    connection.pending.Append({buffer, static_cast<std::size_t>(received)});
    std::vector<std::uint8_t> packet;
    bool whole = false;
    while (connection.pending.Next(packet)) {
        whole = true;
        // Invalid packets are dropped without a trace line.
        if (!IsValidPacket(packet)) continue;
        Queue(packet);
        queued_ = true;
    }
    if (whole) connection.waitingSince = services_.clock.TickCount();
    return received != 0;  // the peer closed after its complete packets
}

void RedundantListenerThread::Close(Connection& connection) {
    Sockets().CloseSocket(connection.socket);
}

}  // namespace velk
