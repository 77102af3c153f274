// The writes of UA binary encoded values.
#include "opcua/binary_writer.h"

namespace velk::ua {

void BinaryWriter::WriteByte(std::uint8_t value) {
    if (Ok()) bytes_.push_back(value);
}

void BinaryWriter::WriteUInt16(std::uint16_t value) {
    WriteByte(static_cast<std::uint8_t>(value));
    WriteByte(static_cast<std::uint8_t>(value >> 8));
}

void BinaryWriter::WriteUInt32(std::uint32_t value) {
    for (int i = 0; i < 4; ++i) WriteByte(static_cast<std::uint8_t>(value >> (8 * i)));
}

void BinaryWriter::WriteUInt64(std::uint64_t value) {
    for (int i = 0; i < 8; ++i) WriteByte(static_cast<std::uint8_t>(value >> (8 * i)));
}

void BinaryWriter::WriteBytes(std::span<const std::uint8_t> bytes) {
    if (Ok()) bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
}

void BinaryWriter::PatchUInt32(std::size_t offset, std::uint32_t value) {
    if (!Ok() || offset + 4 > bytes_.size()) return;
    for (int i = 0; i < 4; ++i) bytes_[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void BinaryWriter::WriteLength(std::size_t count, std::uint32_t limit) {
    if (count > limit || count > 0x7FFFFFFFu) {
        Fail(kBadEncodingLimitsExceeded);
        return;
    }
    WriteUInt32(static_cast<std::uint32_t>(count));
}

bool BinaryWriter::EnterNested() {
    if (!Ok()) return false;
    if (depth_ >= limits_.maxNestingDepth) {
        Fail(kBadEncodingLimitsExceeded);
        return false;
    }
    ++depth_;
    return true;
}

}  // namespace velk::ua
