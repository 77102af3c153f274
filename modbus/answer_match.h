#pragma once
// Whether an answer of the expected length answers the request it was received for: the same
// slave (unit identifier) unless the request was a broadcast, the same function code, protocol
// identifier 0 in Modbus TCP, and for reads a byte count that says exactly as many data bytes as
// the request asked for. A frame that repeats another request, comes from another slave on the line
// or reports less data than it carries is a failed exchange, never a value.
#include <cstdint>
#include <span>

#include "modbus/o_message.h"

namespace velk {

// What an answer must repeat of its request.
struct RequestIdentity {
    std::uint8_t slave = 0;
    std::uint8_t function = 0;
};

// Taken from a message that holds the request.
RequestIdentity IdentityOf(const OMessage& request);

// answer holds a received frame of the expected length. A frame that is not valid in its
// framing (check field, exception answer) is left to IsValid, which refuses it: it passes
// here.
bool AnswersRequest(const RequestIdentity& request, const OMessage& answer);

// The same for bytes received for request, judged in the request's framing before they are
// stored in it (the request stays in the message for a retry).
bool AnswersRequest(const OMessage& request, std::span<const std::uint8_t> answer);

}  // namespace velk
