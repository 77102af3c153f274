#pragma once
// Turns the data of a block read into the raw value of one of its tags, by location kind and
// data type, in the device's word order.
#include <cstdint>
#include <span>

#include "model/variant.h"

namespace velk {

class OModbusTag;

// Register count that a DOUBLE tag needs for the 64-bit IEEE form; other sizes keep the
// single-register reading.
inline constexpr std::uint16_t kDoubleRegisters = 4;

// data holds the block's bits (0xFFFF set, 0 clear) or registers, from the block's start;
// offset is the tag's address minus that start. Positions beyond the data read as 0.
// wordSwap: the device's Word Swap, the order of tags without a byte order of their own
// (set: the first register of a 32- or 64-bit value holds its most significant word;
// clear: its least significant one). A register bit tag reads its bit of the register.
Variant DecodeTagValue(const OModbusTag& tag, std::span<const std::uint16_t> data,
                       std::uint32_t offset, bool wordSwap);

// The registers of a 32-bit pattern (two) or a 64-bit pattern (four) in a byte order
// (kByteOrderABCD ... kByteOrderDCBA); used by the write path so that both directions agree.
void SplitWords(std::uint64_t pattern, std::span<std::uint16_t> registers, std::int16_t order);
std::uint64_t JoinWords(std::span<const std::uint16_t> registers, std::int16_t order);
// The same in the device's word order (ABCD with Word Swap, CDAB without).
void SplitWords(std::uint64_t pattern, std::span<std::uint16_t> registers, bool wordSwap);
std::uint64_t JoinWords(std::span<const std::uint16_t> registers, bool wordSwap);
// True for the orders that put a text's first character in a register's low byte.
bool SwapsTextBytes(std::int16_t order);

}  // namespace velk
