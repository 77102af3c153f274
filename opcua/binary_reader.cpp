// The bounded reads of UA binary encoded values.
#include "opcua/binary_reader.h"

#include <limits>

namespace velk::ua {

BinaryReader::BinaryReader(std::span<const std::uint8_t> bytes, const DecodeLimits& limits,
                           std::uint32_t depth)
    : bytes_(bytes), limits_(limits), depth_(depth) {}

void BinaryReader::Fail(StatusCode status) {
    if (Ok()) status_ = status;
}

bool BinaryReader::Take(std::size_t count) {
    if (!Ok()) return false;
    if (count > bytes_.size() - position_) {
        Fail(kBadDecodingError);
        return false;
    }
    return true;
}

std::uint8_t BinaryReader::ReadByte() {
    if (!Take(1)) return 0;
    return bytes_[position_++];
}

std::uint16_t BinaryReader::ReadUInt16() {
    if (!Take(2)) return 0;
    const auto value = static_cast<std::uint16_t>(bytes_[position_] | (bytes_[position_ + 1] << 8));
    position_ += 2;
    return value;
}

std::uint32_t BinaryReader::ReadUInt32() {
    if (!Take(4)) return 0;
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | bytes_[position_ + i];
    position_ += 4;
    return value;
}

std::uint64_t BinaryReader::ReadUInt64() {
    if (!Take(8)) return 0;
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i) value = (value << 8) | bytes_[position_ + i];
    position_ += 8;
    return value;
}

std::span<const std::uint8_t> BinaryReader::ReadBytes(std::size_t count) {
    if (!Take(count)) return {};
    const auto bytes = bytes_.subspan(position_, count);
    position_ += count;
    return bytes;
}

std::uint32_t BinaryReader::ReadArrayLength(std::size_t minElementSize, std::size_t elementMemory) {
    const auto length = static_cast<std::int32_t>(ReadUInt32());
    if (!Ok() || length == -1) return 0;
    if (length < -1) {
        Fail(kBadDecodingError);
        return 0;
    }
    const auto count = static_cast<std::uint32_t>(length);
    if (count > limits_.maxArrayLength) {
        Fail(kBadEncodingLimitsExceeded);
        return 0;
    }
    if (minElementSize != 0 && count > Remaining() / minElementSize) {
        Fail(kBadDecodingError);
        return 0;
    }
    if (!Charge(std::size_t{count} * elementMemory)) return 0;
    return count;
}

std::uint32_t BinaryReader::ReadByteLength(std::uint32_t limit, bool& isNull) {
    isNull = false;
    const auto length = static_cast<std::int32_t>(ReadUInt32());
    if (!Ok()) return 0;
    if (length == -1) {
        isNull = true;
        return 0;
    }
    if (length < -1) {
        Fail(kBadDecodingError);
        return 0;
    }
    const auto count = static_cast<std::uint32_t>(length);
    if (count > limit) {
        Fail(kBadEncodingLimitsExceeded);
        return 0;
    }
    if (count > Remaining()) {
        Fail(kBadDecodingError);
        return 0;
    }
    if (!Charge(count)) return 0;
    return count;
}

BinaryReader BinaryReader::Nested(std::span<const std::uint8_t> bytes) const {
    BinaryReader nested(bytes, limits_, depth_);
    nested.charged_ = charged_;
    return nested;
}

bool BinaryReader::Charge(std::size_t bytes) {
    if (!Ok()) return false;
    if (bytes > limits_.maxDecodedBytes - charged_) {
        Fail(kBadEncodingLimitsExceeded);
        return false;
    }
    charged_ += bytes;
    return true;
}

bool BinaryReader::EnterNested() {
    if (!Ok()) return false;
    if (depth_ >= limits_.maxNestingDepth) {
        Fail(kBadEncodingLimitsExceeded);
        return false;
    }
    ++depth_;
    return true;
}

}  // namespace velk::ua
