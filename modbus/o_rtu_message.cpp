#include "modbus/o_rtu_message.h"

#include <algorithm>

#include "modbus/crc16.h"

namespace velk {
namespace {

constexpr std::size_t kRtuDataOffset = 3;
constexpr std::size_t kCrcSize = 2;

}  // namespace

bool ORtuMessage::IsValid() const {
    if (!Complete() || Length() < 4 || (At(1) & kExceptionBit) != 0) {
        return false;
    }
    const auto frame = Frame();
    const std::uint16_t crc = Crc16(frame.first(frame.size() - kCrcSize));
    return frame[frame.size() - 2] == (crc & 0xFF) && frame[frame.size() - 1] == (crc >> 8);
}

std::uint8_t ORtuMessage::GetSlave() const { return At(0); }

std::uint8_t ORtuMessage::GetFunction() const { return At(1); }

std::span<const std::uint8_t> ORtuMessage::AnswerData() const {
    if (Length() < kRtuDataOffset + kCrcSize) {
        return {};
    }
    const std::size_t present = Length() - kRtuDataOffset - kCrcSize;
    return Frame().subspan(kRtuDataOffset, std::min<std::size_t>(At(2), present));
}

std::uint16_t ORtuMessage::GetBit(std::size_t n) const { return BitOf(AnswerData(), n); }

std::uint16_t ORtuMessage::GetWord(std::size_t n) const { return WordOf(AnswerData(), n); }

std::uint32_t ORtuMessage::GetDWord(std::size_t n) const { return DWordOf(AnswerData(), n); }

std::string ORtuMessage::GetString(std::size_t n) const { return StringOf(AnswerData(), n); }

bool ORtuMessage::PutByte(std::uint8_t byte) { return Append(byte); }

bool ORtuMessage::Finish() {
    if (Length() + kCrcSize > kBufferSize) {
        return false;
    }
    const std::uint16_t crc = Crc16(Frame());
    Append(static_cast<std::uint8_t>(crc & 0xFF));
    Append(static_cast<std::uint8_t>(crc >> 8));
    return true;
}

bool ORtuMessage::IsComplete() const {
    if (Length() < 2) {
        return false;
    }
    const std::uint8_t function = At(1);
    if ((function & kExceptionBit) != 0) {
        return Length() == 5;
    }
    switch (function) {
        case 1:
        case 2:
        case 3:
        case 4:
        case 12:
        case 17:
        case 20:
        case 21:
            return Length() >= 3 && Length() == At(2) + 5;
        case 5:
        case 6:
        case 11:
        case 15:
        case 16:
            return Length() == 8;
        case 7:
            return Length() == 5;
        case 22:
            return Length() == 10;
        default:
            return false;
    }
}

}  // namespace velk
