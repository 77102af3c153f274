#include "modbus/answer_match.h"

#include "modbus/hex_pair.h"
#include "modbus/mbap_header.h"
#include "modbus/message_framing.h"
#include "modbus/modbus_requests.h"

namespace velk {
namespace {

bool IsRead(std::uint8_t function) {
    return function == function_code::kReadCoils ||
           function == function_code::kReadDiscreteInputs ||
           function == function_code::kReadHoldingRegisters ||
           function == function_code::kReadInputRegisters;
}

// Whether the byte count field of a read answer says exactly the data bytes the frame
// carries (those that the expected length asked for).
bool ByteCountMatches(const OMessage& answer) {
    const auto frame = answer.Frame();
    // Bytes around the data: TCP MBAP header, function code, byte count; RTU slave, function
    // code, byte count, CRC; ASCII ':', slave, function and byte count pairs, LRC pair, CR, LF.
    const std::size_t overhead = answer.IsTcp() ? kMbapHeaderSize + 2 : answer.IsRtu() ? 5 : 11;
    if (frame.size() < overhead) return false;
    const std::size_t carried =
        answer.IsTcp() || answer.IsRtu() ? frame.size() - overhead : (frame.size() - overhead) / 2;
    const std::size_t said =
        answer.IsTcp()   ? frame[kMbapHeaderSize + 1]
        : answer.IsRtu() ? frame[2]
                         : DecodeHexPair(static_cast<char>(frame[5]), static_cast<char>(frame[6]));
    return said == carried;
}

}  // namespace

RequestIdentity IdentityOf(const OMessage& request) {
    return {request.GetSlave(), request.GetFunction()};
}

bool AnswersRequest(const RequestIdentity& request, const OMessage& answer) {
    if (!answer.IsValid()) return true;
    // A broadcast (slave 0) may be answered under the controller's own address.
    if (request.slave != 0 && answer.GetSlave() != request.slave) return false;
    if (answer.GetFunction() != request.function) return false;
    if (answer.IsTcp()) {
        const auto header = ReadMbapHeader(answer.Frame());
        if (!header || header->protocolId != 0) return false;
    }
    return !IsRead(request.function) || ByteCountMatches(answer);
}

bool AnswersRequest(const OMessage& request, std::span<const std::uint8_t> answer) {
    const MessageFraming framing = request.IsTcp()   ? MessageFraming::kTcp
                                   : request.IsRtu() ? MessageFraming::kRtu
                                                     : MessageFraming::kAscii;
    auto received = CreateMessage(framing);
    received->SetAnswerLength(static_cast<std::uint16_t>(answer.size()));
    if (!received->StoreAnswer(answer, 0)) return true;
    return AnswersRequest(IdentityOf(request), *received);
}

}  // namespace velk
