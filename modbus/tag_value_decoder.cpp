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

std::uint16_t SwapBytes(std::uint16_t word) {
    return static_cast<std::uint16_t>((word << 8) | (word >> 8));
}

bool ReversesWords(std::int16_t order) {
    return order == kByteOrderCDAB || order == kByteOrderDCBA;
}

// The characters from the tag's first register on, high byte first (low byte first when
// swapped), up to the first zero byte or the end of the data, cut to the tag's length.
// Bytes are Latin-1.
std::string DecodeText(std::span<const std::uint16_t> data, std::uint32_t offset,
                       std::uint16_t length, bool swapped) {
    std::string bytes;
    for (std::uint32_t n = offset; n < data.size() && bytes.size() < length; ++n) {
        const std::uint16_t word = swapped ? SwapBytes(data[n]) : data[n];
        const auto high = static_cast<char>(word >> 8);
        const auto low = static_cast<char>(word & 0xFF);
        if (high == 0) break;
        bytes.push_back(high);
        if (bytes.size() == length) break;
        if (low == 0) break;
        bytes.push_back(low);
    }
    return Latin1ToUtf8(bytes);
}

Variant DecodeRegisters(const OModbusTag& tag, std::span<const std::uint16_t> data,
                        std::uint32_t offset, bool deviceWordSwap) {
    const std::uint16_t first = At(data, offset);
    const std::int16_t order = tag.EffectiveByteOrder(deviceWordSwap);
    std::uint16_t buffer[4];
    switch (tag.dataType) {
        case VT_I2:
            return Variant::Int16(static_cast<std::int16_t>(first));
        case VT_UI2:
            return Variant::UInt16(first);
        case VT_I4:
            return Variant::Int32(
                static_cast<std::int32_t>(JoinWords(Window(data, offset, 2, buffer), order)));
        case VT_UI4:
            return Variant::UInt32(
                static_cast<std::uint32_t>(JoinWords(Window(data, offset, 2, buffer), order)));
        case VT_R4:
            return Variant::Float(std::bit_cast<float>(
                static_cast<std::uint32_t>(JoinWords(Window(data, offset, 2, buffer), order))));
        case VT_R8:
            if (tag.size == kDoubleRegisters)
                return Variant::Double(std::bit_cast<double>(
                    JoinWords(Window(data, offset, kDoubleRegisters, buffer), order)));
            return Variant::Double(static_cast<std::int16_t>(first));
        case VT_I8:
            return Variant::Int64(static_cast<std::int64_t>(
                JoinWords(Window(data, offset, kDoubleRegisters, buffer), order)));
        case VT_UI8:
            return Variant::UInt64(
                JoinWords(Window(data, offset, kDoubleRegisters, buffer), order));
        case VT_BSTR:
            return Variant::Text(
                DecodeText(data, offset, tag.size,
                           tag.byteOrder != kByteOrderDevice && SwapsTextBytes(tag.byteOrder)));
        case VT_BOOL:
            if (tag.IsRegisterBit()) return Variant::Bool(((first >> tag.registerBit) & 1) != 0);
            return Variant::Bool(first != 0);
        default:
            return Variant::UInt16(first);
    }
}

}  // namespace

bool SwapsTextBytes(std::int16_t order) {
    return order == kByteOrderBADC || order == kByteOrderDCBA;
}

// Word k of the pattern is its k-th least significant 16 bits; ABCD sends the most
// significant word first, each high byte first.
void SplitWords(std::uint64_t pattern, std::span<std::uint16_t> registers, std::int16_t order) {
    const std::size_t n = registers.size();
    const bool reversed = ReversesWords(order);
    const bool swapped = SwapsTextBytes(order);
    for (std::size_t k = 0; k < n; ++k) {
        auto word = static_cast<std::uint16_t>(pattern >> (16 * k));
        if (swapped) word = SwapBytes(word);
        registers[reversed ? k : n - 1 - k] = word;
    }
}

std::uint64_t JoinWords(std::span<const std::uint16_t> registers, std::int16_t order) {
    const std::size_t n = registers.size();
    const bool reversed = ReversesWords(order);
    const bool swapped = SwapsTextBytes(order);
    std::uint64_t pattern = 0;
    for (std::size_t k = 0; k < n; ++k) {
        std::uint16_t word = registers[reversed ? k : n - 1 - k];
        if (swapped) word = SwapBytes(word);
        pattern |= std::uint64_t{word} << (16 * k);
    }
    return pattern;
}

void SplitWords(std::uint64_t pattern, std::span<std::uint16_t> registers, bool wordSwap) {
    SplitWords(pattern, registers, wordSwap ? kByteOrderABCD : kByteOrderCDAB);
}

std::uint64_t JoinWords(std::span<const std::uint16_t> registers, bool wordSwap) {
    return JoinWords(registers, wordSwap ? kByteOrderABCD : kByteOrderCDAB);
}

Variant DecodeTagValue(const OModbusTag& tag, std::span<const std::uint16_t> data,
                       std::uint32_t offset, bool wordSwap) {
    if (tag.locationKind == kInputStatus || tag.locationKind == kOutputCoil)
        return Variant::Bool(At(data, offset) != 0);
    return DecodeRegisters(tag, data, offset, wordSwap);
}

}  // namespace velk
