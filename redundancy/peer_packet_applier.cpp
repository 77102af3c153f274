#include "redundancy/peer_packet_applier.h"

#include <memory>
#include <string>

#include "model/b_event.h"
#include "model/o_modbus_tag.h"
#include "platform/clock.h"
#include "platform/clock_setter.h"
#include "redundancy/received_packet_queue.h"
#include "redundancy/redundancy_packets.h"

namespace velk {

void PeerPacketApplier::Apply(const ReceivedPacket& packet) {
    const auto bytes = packet.Frame();
    if (!IsValidPacket(bytes)) return Invalid(packet);
    switch (bytes[kPacketFunctionByte]) {
        case REQ_TIME_SYNC:
            return ApplyTime(packet);
        case FN_ACK_ALARM:
            if (const auto ack = DecodeAckAlarm(bytes)) return ApplyAcknowledgement(*ack);
            return Invalid(packet);
        default:
            return;  // no effect
    }
}

void PeerPacketApplier::Invalid(const ReceivedPacket& packet) {
    services_.trace("Redundant communication: Received packet is invalid. Size " +
                    std::to_string(packet.Length()) + ", buffer " + PacketText(packet.Frame()) +
                    " ");
}

void PeerPacketApplier::ApplyTime(const ReceivedPacket& packet) {
    const auto time = DecodeTimeSync(packet.Frame());
    if (!time) return Invalid(packet);
    // Tick counts wrap at 2^32; the difference modulo 2^32 is the wait.
    const std::uint32_t waited = services_.clock.TickCount() - packet.ReceivedTick();
    if (waited > kStaleTimePacketMs) {
        services_.trace("Redundant communication: REQ_TIME_SYNC dropped, it waited " +
                        std::to_string(waited) + " ms");
        return;
    }
    if (!services_.localClock.SetLocalTime(*time))
        services_.trace("Redundant communication: ::SetLocalTime(&st) FAILED on the client side");
}

void PeerPacketApplier::ApplyAcknowledgement(const PeerAcknowledgement& ack) {
    if (ack.acknowledgeFlag != 1) return;
    const RedundancyLinkSettings settings = services_.settings();
    OModbusTag* tag = services_.findTag(ack.tagPath, settings.areaDelimiter);
    if (tag == nullptr) {
        services_.trace("Redundant communication: FN_ACK_ALARM: Invalid tag:" + ack.tagPath);
        return;
    }
    auto record = std::make_unique<BEvent>();
    {
        // The evaluation changes the same condition state under this lock.
        std::lock_guard tagData(services_.tagDataLock);
        tag->Acknowledge(ack.acknowledgementTime);
        record->code = tag->subconditionIndex;
        record->active = tag->alarmState != 0 ? 1 : 0;
        record->valueText = tag->value.ToText();
        record->eventTime = tag->activeTime;
    }
    record->activeTime = 0;
    record->tag = tag;
    record->device = tag->device;
    record->acknowledger = settings.alternateServer;
    services_.events.PostEvent(std::move(record));
}

}  // namespace velk
