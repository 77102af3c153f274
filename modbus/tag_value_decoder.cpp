#include "modbus/tag_value_decoder.h"

#include <bit>
#include <string>

#include "model/o_modbus_tag.h"
#include "platform/text.h"

namespace velk {
namespace {

std::uint16_t At(std::span<const std::uint16_t> data, std::uint32_t n) {
    return n < data.size() ? data[n] : 0;
}

std::span<const std::uint16_t> Window(std::span<const std::uint16_t> data, std::uint32_t offset,
                                      std::size_t count, std::uint16_t (&buffer)[4]) {
    for (std::size_t k = 0; k < count; ++k) buffer[k] = At(data, offset + k);
    return {buffer, count};
}

// The characters from the tag's first register on, high byte first, up to the first zero
// byte or the end of the data, cut to the tag's length. Bytes are Latin-1.
std::string DecodeText(std::span<const std::uint16_t> data, std::uint32_t offset,
                       std::uint16_t length) {
    std::string bytes;
    for (std::uint32_t n = offset; n < data.size() && bytes.size() < length; ++n) {
        const auto high = static_cast<char>(data[n] >> 8);
        const auto low = static_cast<char>(data[n] & 0xFF);
        if (high == 0) break;
        bytes.push_back(high);
        if (bytes.size() == length) break;
        if (low == 0) break;
        bytes.push_back(low);
    }
    return Latin1ToUtf8(bytes);
}

Variant DecodeRegisters(const OModbusTag& tag, std::span<const std::uint16_t> data,
                        std::uint32_t offset, bool wordSwap) {
    const std::uint16_t first = At(data, offset);
    std::uint16_t buffer[4];
    switch (tag.dataType) {
        case VT_I2:
            return Variant::Int16(static_cast<std::int16_t>(first));
        case VT_UI2:
            return Variant::UInt16(first);
        case VT_I4:
            return Variant::Int32(
                static_cast<std::int32_t>(JoinWords(Window(data, offset, 2, buffer), wordSwap)));
        case VT_UI4:
            return Variant::UInt32(
                static_cast<std::uint32_t>(JoinWords(Window(data, offset, 2, buffer), wordSwap)));
        case VT_R4:
            return Variant::Float(std::bit_cast<float>(
                static_cast<std::uint32_t>(JoinWords(Window(data, offset, 2, buffer), wordSwap))));
        case VT_R8:
            if (tag.size == kDoubleRegisters)
                return Variant::Double(std::bit_cast<double>(
                    JoinWords(Window(data, offset, kDoubleRegisters, buffer), wordSwap)));
            return Variant::Double(static_cast<std::int16_t>(first));
        case VT_BSTR:
            return Variant::Text(DecodeText(data, offset, tag.size));
        case VT_BOOL:
            return Variant::Bool(first != 0);
        default:
            return Variant::UInt16(first);
    }
}

}  // namespace

void SplitWords(std::uint64_t pattern, std::span<std::uint16_t> registers, bool wordSwap) {
    const std::size_t n = registers.size();
    for (std::size_t k = 0; k < n; ++k) {
        const auto word = static_cast<std::uint16_t>(pattern >> (16 * k));
        registers[wordSwap ? n - 1 - k : k] = word;
    }
}

std::uint64_t JoinWords(std::span<const std::uint16_t> registers, bool wordSwap) {
    const std::size_t n = registers.size();
    std::uint64_t pattern = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const std::uint64_t word = registers[wordSwap ? n - 1 - k : k];
        pattern |= word << (16 * k);
    }
    return pattern;
}

Variant DecodeTagValue(const OModbusTag& tag, std::span<const std::uint16_t> data,
                       std::uint32_t offset, bool wordSwap) {
    if (tag.locationKind == kInputStatus || tag.locationKind == kOutputCoil)
        return Variant::Bool(At(data, offset) != 0);
    return DecodeRegisters(tag, data, offset, wordSwap);
}

}  // namespace velk
