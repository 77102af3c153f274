#include "modbus/o_ascii_message.h"

#include <algorithm>
#include <vector>

#include "modbus/hex_pair.h"
#include "modbus/lrc.h"

namespace velk {
namespace {

constexpr std::uint8_t kStart = ':';
constexpr std::uint8_t kCr = 13;
constexpr std::uint8_t kLf = 10;
// ':' , address pair, function pair, byte count pair.
constexpr std::size_t kAsciiDataOffset = 7;
// LRC pair, CR, LF.
constexpr std::size_t kTrailerSize = 4;
constexpr std::size_t kMinimumLength = 9;

}  // namespace

OAsciiMessage::OAsciiMessage() : OMessage(false, false) { Append(kStart); }

std::uint8_t OAsciiMessage::PairAt(std::size_t character) const {
    return DecodeHexPair(static_cast<char>(At(character)), static_cast<char>(At(character + 1)));
}

bool OAsciiMessage::IsValid() const {
    const std::size_t length = Length();
    if (!Complete() || length < kMinimumLength || At(0) != kStart || At(length - 2) != kCr ||
        At(length - 1) != kLf || (length - 3) % 2 != 0) {
        return false;
    }
    // Any other character decodes to a wrong nibble, which could still meet the LRC by
    // chance; refusing it outright keeps such frames from passing.
    for (std::size_t i = 1; i < length - 2; ++i) {
        if (!IsUpperHexDigit(static_cast<char>(At(i)))) {
            return false;
        }
    }
    std::vector<std::uint8_t> decoded;
    for (std::size_t i = 1; i < length - kTrailerSize; i += 2) {
        decoded.push_back(PairAt(i));
    }
    if ((GetFunction() & kExceptionBit) != 0) {
        return false;
    }
    return Lrc(decoded) == PairAt(length - kTrailerSize);
}

std::uint8_t OAsciiMessage::GetSlave() const { return PairAt(1); }

std::uint8_t OAsciiMessage::GetFunction() const { return PairAt(3); }

std::size_t OAsciiMessage::DataCount() const {
    if (Length() < kAsciiDataOffset + kTrailerSize) {
        return 0;
    }
    const std::size_t present = (Length() - kAsciiDataOffset - kTrailerSize) / 2;
    return std::min<std::size_t>(PairAt(5), present);
}

std::uint8_t OAsciiMessage::DataByte(std::size_t k) const {
    return k < DataCount() ? PairAt(kAsciiDataOffset + 2 * k) : 0;
}

std::uint16_t OAsciiMessage::GetBit(std::size_t n) const {
    if (n / 8 >= DataCount()) {
        return 0;
    }
    return (DataByte(n / 8) >> (n % 8)) & 1u ? 0xFFFF : 0;
}

std::uint16_t OAsciiMessage::GetWord(std::size_t n) const {
    if (n >= DataCount() / 2) {
        return 0;
    }
    return static_cast<std::uint16_t>((DataByte(2 * n) << 8) | DataByte(2 * n + 1));
}

std::uint32_t OAsciiMessage::GetDWord(std::size_t n) const {
    if (2 * n + 3 >= DataCount()) {
        return 0;
    }
    return (static_cast<std::uint32_t>(GetWord(n)) << 16) | GetWord(n + 1);
}

std::string OAsciiMessage::GetString(std::size_t n) const {
    std::string text;
    const std::size_t count = DataCount();
    for (std::size_t k = n; k < count; ++k) {
        const std::uint8_t byte = DataByte(k);
        if (byte == 0) {
            break;
        }
        text.push_back(static_cast<char>(byte));
    }
    return text;
}

bool OAsciiMessage::PutByte(std::uint8_t byte) {
    if (Length() + 2u > kBufferSize) {
        return false;
    }
    Append(static_cast<std::uint8_t>(HexDigit(byte >> 4)));
    Append(static_cast<std::uint8_t>(HexDigit(byte & 0x0F)));
    return true;
}

bool OAsciiMessage::Finish() {
    if (Length() + kTrailerSize > kBufferSize || Length() < 1u) {
        return false;
    }
    std::vector<std::uint8_t> decoded;
    for (std::size_t i = 1; i + 1 < Length(); i += 2) {
        decoded.push_back(PairAt(i));
    }
    const std::uint8_t lrc = Lrc(decoded);
    Append(static_cast<std::uint8_t>(HexDigit(lrc >> 4)));
    Append(static_cast<std::uint8_t>(HexDigit(lrc & 0x0F)));
    Append(kCr);
    Append(kLf);
    return true;
}

bool OAsciiMessage::IsComplete() const {
    return Length() > kMinimumLength && At(Length() - 1) == kLf;
}

}  // namespace velk
