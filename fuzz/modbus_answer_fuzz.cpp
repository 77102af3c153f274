// Fuzz target of the Modbus answer checks and accessors. The first input byte picks the
// framing, the rest is taken as a received answer. Any input must be handled without
// reading outside the frame, and a frame judged valid must be exactly the frame that the
// request side would build from the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "modbus/hex_pair.h"
#include "modbus/message_framing.h"
#include "modbus/o_message.h"

namespace {

using velk::MessageFraming;
using velk::OMessage;

std::vector<std::uint8_t> Rebuild(MessageFraming framing, std::span<const std::uint8_t> frame) {
    auto message = velk::CreateMessage(framing);
    if (framing == MessageFraming::kRtu) {
        for (std::size_t i = 0; i + 2 < frame.size(); ++i) message->PutByte(frame[i]);
    } else if (framing == MessageFraming::kAscii) {
        for (std::size_t i = 1; i + 4 < frame.size(); i += 2) {
            message->PutByte(
                velk::DecodeHexPair(static_cast<char>(frame[i]), static_cast<char>(frame[i + 1])));
        }
    } else {
        for (std::size_t i = 6; i < frame.size(); ++i) message->PutByte(frame[i]);
    }
    message->Finish();
    return {message->Frame().begin(), message->Frame().end()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const auto framing = static_cast<MessageFraming>(data[0] % 3);
    const std::span<const std::uint8_t> answer(data + 1, size - 1);
    auto message = velk::CreateMessage(framing);
    message->SetAnswerLength(static_cast<std::uint16_t>(answer.size()));
    const bool stored = message->StoreAnswer(answer, 1);
    if (stored != (!answer.empty() && answer.size() <= OMessage::kBufferSize)) std::abort();
    if (!stored) return 0;
    for (std::size_t n = 0; n < 2 * answer.size() + 8; ++n) {
        const std::uint16_t bit = message->GetBit(n);
        if (bit != 0 && bit != 0xFFFF) std::abort();
        const std::uint32_t dword = message->GetDWord(n);
        if (dword != 0 && (dword >> 16) != message->GetWord(n)) std::abort();
        if (message->GetString(n).size() > answer.size()) std::abort();
    }
    message->GetSlave();
    message->GetFunction();
    message->IsComplete();
    if (message->IsValid()) {
        // Timestamp, flags and the frame itself must be what was stored.
        if (message->AnswerTime() != 1 || !message->Complete()) std::abort();
        const std::vector<std::uint8_t> frame(answer.begin(), answer.end());
        const std::vector<std::uint8_t> rebuilt = Rebuild(framing, frame);
        // TCP answers keep the peer's transaction and protocol identifiers, which are not
        // judged.
        const std::size_t from = framing == MessageFraming::kTcp ? 4 : 0;
        if (rebuilt.size() != frame.size() ||
            !std::equal(rebuilt.begin() + from, rebuilt.end(), frame.begin() + from)) {
            std::abort();
        }
        if ((message->GetFunction() & 0x80) != 0) std::abort();
    }
    return 0;
}
