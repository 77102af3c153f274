#pragma once
// Which framing a request travels in, and the lengths that follow from it.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "modbus/o_message.h"

namespace velk {

enum class MessageFraming { kAscii, kRtu, kTcp };

// A Modbus TCP device always gets TCP framing; otherwise 8 data bits on the port mean RTU
// and any other value ASCII.
MessageFraming ChooseFraming(bool modbusTcp, int portDataBits);

// A new, empty message of the framing.
std::unique_ptr<OMessage> CreateMessage(MessageFraming framing);

// Length of a whole frame carrying a PDU (function code and fields) of pduLength bytes:
// TCP 7 + PDU, RTU 1 + PDU + 2, ASCII 1 + 2 * (1 + PDU + 1) + 2 characters.
std::uint16_t FrameLength(MessageFraming framing, std::size_t pduLength);

}  // namespace velk
