#pragma once
// Cuts a received byte stream into Modbus requests of one framing, checking the CRC, LRC or
// MBAP header. Frames that fail their check are dropped and counted, as a slave on a line
// would ignore them.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "modbus/message_framing.h"

namespace velk::plcsim {

struct DecodedRequest {
    std::uint16_t transactionId = 0;  // TCP only
    std::uint8_t unit = 0;
    std::vector<std::uint8_t> pdu;  // function code and fields
};

class RequestAssembler {
  public:
    explicit RequestAssembler(MessageFraming framing) : framing_(framing) {}

    void Feed(std::span<const std::uint8_t> bytes);
    // The next complete request; none while the frame in hand is still incomplete.
    std::optional<DecodedRequest> Next();
    // A serial line fell silent: an RTU frame of a length that no function code tells is
    // taken as it stands, anything else incomplete is dropped.
    std::optional<DecodedRequest> Idle();
    bool HasPartial() const { return !pending_.empty(); }
    std::size_t Dropped() const { return dropped_; }
    // A TCP stream whose header makes no sense cannot be resynchronised.
    bool Broken() const { return broken_; }

  private:
    std::optional<DecodedRequest> NextRtu();
    std::optional<DecodedRequest> NextAscii();
    std::optional<DecodedRequest> NextTcp();
    std::optional<DecodedRequest> TakeRtu(std::size_t length);
    // Expected RTU request length from the bytes in hand; 0 when not yet known, SIZE_MAX
    // when the function code does not tell.
    std::size_t RtuRequestLength() const;

    MessageFraming framing_;
    std::vector<std::uint8_t> pending_;
    std::size_t dropped_ = 0;
    bool broken_ = false;
};

// The answer frame for an answer PDU: RTU with CRC, ASCII with LRC and CR LF, TCP with the
// request's transaction identifier. Empty when it does not fit a frame.
std::vector<std::uint8_t> EncodeAnswer(MessageFraming framing, std::uint16_t transactionId,
                                       std::uint8_t unit, std::span<const std::uint8_t> pdu);

}  // namespace velk::plcsim
