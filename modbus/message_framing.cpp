#include "modbus/message_framing.h"

#include "modbus/o_ascii_message.h"
#include "modbus/o_rtu_message.h"
#include "modbus/o_tcp_message.h"

namespace velk {

MessageFraming ChooseFraming(bool modbusTcp, int portDataBits) {
    if (modbusTcp) {
        return MessageFraming::kTcp;
    }
    return portDataBits == 8 ? MessageFraming::kRtu : MessageFraming::kAscii;
}

std::unique_ptr<OMessage> CreateMessage(MessageFraming framing) {
    switch (framing) {
        case MessageFraming::kTcp:
            return std::make_unique<OTcpMessage>();
        case MessageFraming::kRtu:
            return std::make_unique<ORtuMessage>();
        case MessageFraming::kAscii:
            break;
    }
    return std::make_unique<OAsciiMessage>();
}

std::uint16_t FrameLength(MessageFraming framing, std::size_t pduLength) {
    switch (framing) {
        case MessageFraming::kTcp:
            return static_cast<std::uint16_t>(7 + pduLength);
        case MessageFraming::kRtu:
            return static_cast<std::uint16_t>(1 + pduLength + 2);
        case MessageFraming::kAscii:
            break;
    }
    return static_cast<std::uint16_t>(1 + 2 * (1 + pduLength + 1) + 2);
}

}  // namespace velk
