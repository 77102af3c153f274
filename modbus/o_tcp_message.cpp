#include "modbus/o_tcp_message.h"

#include <algorithm>

#include "modbus/mbap_header.h"

namespace velk {
namespace {

// MBAP header, function code, byte count.
constexpr std::size_t kTcpDataOffset = kMbapHeaderSize + 2;

}  // namespace

OTcpMessage::OTcpMessage() : OMessage(false, true) {
    for (std::size_t i = 0; i < kMbapPrefixSize; ++i) {
        Append(0);
    }
}

bool OTcpMessage::IsValid() const {
    if (Length() < 8 || (At(7) & kExceptionBit) != 0) {
        return false;
    }
    // The whole 16-bit length field is compared: a high byte that is not 0 is as wrong as
    // a low byte that does not match.
    const auto header = ReadMbapHeader(Frame());
    return header && header->length == Length() - kMbapPrefixSize;
}

std::uint8_t OTcpMessage::GetSlave() const { return At(6); }

std::uint8_t OTcpMessage::GetFunction() const { return At(7); }

std::span<const std::uint8_t> OTcpMessage::AnswerData() const {
    if (Length() < kTcpDataOffset) {
        return {};
    }
    const std::size_t present = Length() - kTcpDataOffset;
    return Frame().subspan(kTcpDataOffset, std::min<std::size_t>(At(8), present));
}

std::uint16_t OTcpMessage::GetBit(std::size_t n) const { return BitOf(AnswerData(), n); }

std::uint16_t OTcpMessage::GetWord(std::size_t n) const { return WordOf(AnswerData(), n); }

std::uint32_t OTcpMessage::GetDWord(std::size_t n) const { return DWordOf(AnswerData(), n); }

std::string OTcpMessage::GetString(std::size_t n) const { return StringOf(AnswerData(), n); }

bool OTcpMessage::PutByte(std::uint8_t byte) { return Append(byte); }

bool OTcpMessage::Finish() {
    // The length field has one byte in use: the frame may hold at most 255 bytes after it.
    if (Length() < kMbapHeaderSize || Length() - kMbapPrefixSize > 0xFF) {
        return false;
    }
    WriteMbapPrefix(Writable(), 0, static_cast<std::uint16_t>(Length() - kMbapPrefixSize));
    return true;
}

bool OTcpMessage::IsComplete() const {
    const auto header = ReadMbapHeader(Frame());
    return header && Length() == header->length + kMbapPrefixSize;
}

}  // namespace velk
