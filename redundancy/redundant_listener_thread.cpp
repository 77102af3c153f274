#include "redundancy/redundant_listener_thread.h"

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

constexpr std::uint32_t kReceiveSliceMs = 250;
constexpr std::size_t kRefusalMemory = 256;

}  // namespace

int RedundantListenerThread::Run(MessageQueue& queue) {
    services_.trace("RedundantListenerThread is starting");
    PauseOn(queue, kLinkStartPauseMs);
    SocketHolder listening;
    for (;;) {
        Message message;
        if (queue.Peek(message) && message.id == WM_QUIT) break;
        if (listening.Empty() && !OpenListeningSocket(listening)) {
            PauseOn(queue, kListenRetryPauseMs);
            continue;
        }
        SocketHolder connection;
        const int accepted = Sockets().AcceptTimed(listening, connection);
        if (accepted < 0) {
            Sockets().CloseSocket(listening);  // set up again in the next pass
            continue;
        }
        if (accepted == 0) continue;
        if (!FromPeer(connection)) {
            Sockets().CloseSocket(connection);  // unread
            continue;
        }
        Serve(queue, connection);
    }
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

int RedundantListenerThread::Receive(MessageQueue& queue, SocketHolder& connection,
                                     std::uint8_t* buffer) {
    for (std::uint32_t waited = 0; waited < kListenerReceiveWaitMs; waited += kReceiveSliceMs) {
        const int received = Sockets().RecvTimed(
            connection, buffer, static_cast<int>(kListenerReadSize), kReceiveSliceMs);
        if (received != -2) return received;
        if (queue.Size() != 0) return -1;
    }
    return -2;
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

void RedundantListenerThread::Serve(MessageQueue& queue, SocketHolder& connection) {
    bool queued = false;
    // Non-blocking, so that the receive wait applies to the accepted connection.
    if (Sockets().MakeNonBlocking(connection)) {
        PacketReassembler reassembler;
        std::vector<std::uint8_t> packet;
        std::uint8_t buffer[kListenerReadSize];
        for (;;) {
            const int received = Receive(queue, connection, buffer);
            if (received < 0) break;  // error, time-out or quit: what is incomplete is lost
            reassembler.Append({buffer, static_cast<std::size_t>(received)});
            while (reassembler.Next(packet)) {
                // Invalid packets are dropped without a trace line.
                if (!IsValidPacket(packet)) continue;
                Queue(packet);
                queued = true;
            }
            if (received == 0) break;  // the peer closed after its complete packets
        }
    }
    Sockets().CloseSocket(connection);
    if (queued) notifyClient_();
}

}  // namespace velk
