#include "redundancy/redundant_client_thread.h"

#include <chrono>
#include <string>

#include "modbus/host_routes.h"
#include "modbus/ip_address_text.h"
#include "modbus/tcp_route_connection.h"
#include "platform/clock.h"
#include "redundancy/ack_message_queue.h"
#include "redundancy/received_packet_queue.h"
#include "redundancy/redundancy_messages.h"
#include "redundancy/redundancy_packets.h"

namespace velk {

void PauseOn(MessageQueue& queue, std::uint32_t milliseconds) {
    queue.WaitFor(std::chrono::milliseconds(milliseconds));
}

int RedundantClientThread::Run(MessageQueue& queue) {
    services_.trace("RedundantClientThread is starting");
    PauseOn(queue, kLinkStartPauseMs);
    for (;;) {
        Message message;
        const bool taken = queue.Peek(message);
        // The quit message is honoured with or without clients: the shutdown waits for it.
        if (taken && message.id == WM_QUIT) break;
        if (taken) {
            if (!services_.hasClients()) {
                // Dropped: received packets stay queued until the next notice is processed.
                PauseOn(queue, kLinkIdlePassMs);
                continue;
            }
            Dispatch(message);
        }
        const RedundancyLinkSettings settings = services_.settings();
        if (services_.hasClients() && settings.enabled && acks_.Count() != 0) {
            if (!SendAcknowledgements(settings)) PauseOn(queue, kLinkIdlePassMs);
            continue;
        }
        CloseAcknowledgementConnection();
        PauseOn(queue, kLinkIdlePassMs);
    }
    CloseAcknowledgementConnection();
    const RedundancyLinkSettings settings = services_.settings();
    if (services_.routes != nullptr) {
        DeleteHostRoute(*services_.routes, DottedToAddress(settings.alternateServer),
                        DottedToAddress(settings.alternateGateway));
    }
    services_.trace("RedundantClientThread is finshed");
    return 0;
}

void RedundantClientThread::Dispatch(const Message& message) {
    if (message.id == WM_REDUNDANCY_TIME_SYNC) {
        if (message.wParam == 1) SendTime(services_.settings());
    } else if (message.id == WM_REDUNDANCY_RECEIVED) {
        if (const auto* notice = message.PayloadAs<ReceivedPacketsNotice>())
            ApplyReceived(*notice->queue);
    }
}

void RedundantClientThread::SendTime(const RedundancyLinkSettings& settings) {
    const auto packet = EncodeTimeSync(services_.clock.NowLocal());
    SocketHolder connection;
    // Failures are not reported: the next tick sends a fresh time.
    if (ConnectThroughRoute(services_.sockets, services_.routes, connection,
                            settings.alternateServer, settings.port, settings.alternateGateway)) {
        const auto frame = packet->Frame();
        services_.sockets.SendTimed(connection, frame.data(), static_cast<int>(frame.size()),
                                    kLinkSendTimeoutMs);
    }
    CloseAndRemoveRoute(services_.sockets, services_.routes, connection, settings.alternateServer,
                        settings.alternateGateway);
}

void RedundantClientThread::ApplyReceived(ReceivedPacketQueue& packets) {
    while (const auto packet = packets.Pop()) applier_.Apply(*packet);
}

bool RedundantClientThread::SendAcknowledgements(const RedundancyLinkSettings& settings) {
    const std::string& server = settings.alternateServer;
    if (!ackConnection_.Empty()) {
        if (services_.routes != nullptr) {
            const std::uint32_t destination = DottedToAddress(server);
            const std::uint32_t gateway = DottedToAddress(settings.alternateGateway);
            DeleteHostRoute(*services_.routes, destination, gateway);
            AddHostRoute(*services_.routes, destination, gateway);
        }
    } else if (!ConnectThroughRoute(services_.sockets, services_.routes, ackConnection_, server,
                                    settings.port, settings.alternateGateway)) {
        // Acknowledgements are never kept for later: the peer's operators acknowledge there.
        acks_.Clear();
        services_.trace("The redundant server (" + server + ") is not available at connection");
        return false;
    }
    while (const auto message = acks_.Take()) {
        const auto packet = EncodeAckAlarm(*message);
        if (!packet) {
            services_.trace(
                "Redundant communication: FN_ACK_ALARM not sent, the tag path cannot be carried "
                "to the redundant server: " +
                message->tagPath);
            continue;
        }
        const auto frame = packet->Frame();
        if (services_.sockets.SendTimed(ackConnection_, frame.data(),
                                        static_cast<int>(frame.size()), kLinkSendTimeoutMs) <= 0) {
            services_.trace("The redundant server (" + server + ") is not available at sending");
            CloseAcknowledgementConnection();
            return true;  // the rest goes over a new connection in the next pass
        }
    }
    return true;
}

void RedundantClientThread::CloseAcknowledgementConnection() {
    services_.sockets.CloseSocket(ackConnection_);
}

}  // namespace velk
