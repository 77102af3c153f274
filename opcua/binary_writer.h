#pragma once
// Appends UA binary encoded values (little endian) to a byte buffer. As with the reader, the
// first error sticks and later writes are dropped, so an encoder checks Ok() at its end.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "opcua/status_codes.h"

namespace velk::ua {

struct EncodeLimits {
    std::uint32_t maxStringLength = 1u << 24;
    std::uint32_t maxArrayLength = 1u << 24;
    // Levels of values inside each other, as the peer's decoder bounds them.
    std::uint32_t maxNestingDepth = 32;
};

class BinaryWriter {
  public:
    explicit BinaryWriter(const EncodeLimits& limits = {}) : limits_(limits) {}

    bool Ok() const { return status_ == kGood; }
    StatusCode Status() const { return status_; }
    void Fail(StatusCode status) {
        if (Ok()) status_ = status;
    }

    const EncodeLimits& Limits() const { return limits_; }
    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
    std::vector<std::uint8_t> Take() { return std::move(bytes_); }
    std::size_t Size() const { return bytes_.size(); }

    void WriteByte(std::uint8_t value);
    void WriteUInt16(std::uint16_t value);
    void WriteUInt32(std::uint32_t value);
    void WriteUInt64(std::uint64_t value);
    void WriteBytes(std::span<const std::uint8_t> bytes);
    // Overwrites four bytes already written at offset (a size known only at the end).
    void PatchUInt32(std::size_t offset, std::uint32_t value);
    // The Int32 length prefix of a string or an array of count elements; above limit
    // BadEncodingLimitsExceeded.
    void WriteLength(std::size_t count, std::uint32_t limit);

    // Nesting levels, as BinaryReader counts them.
    bool EnterNested();
    void LeaveNested() { --depth_; }

  private:
    std::vector<std::uint8_t> bytes_;
    EncodeLimits limits_;
    std::uint32_t depth_ = 0;
    StatusCode status_ = kGood;
};

}  // namespace velk::ua
