#pragma once
// Reads UA binary encoded values from a byte span. The first error sticks: later reads give
// zeros and take nothing, so a decoder checks Ok() once at its end instead of after every
// field. Every length read is bounded twice: by the configured limits and by the bytes left,
// so no decoder allocates more than the input could hold.
#include <cstddef>
#include <cstdint>
#include <span>

#include "opcua/status_codes.h"

namespace velk::ua {

struct DecodeLimits {
    // Bytes of one String or XmlElement.
    std::uint32_t maxStringLength = 1u << 20;
    // Bytes of one ByteString.
    std::uint32_t maxByteStringLength = 1u << 24;
    // Elements of one array.
    std::uint32_t maxArrayLength = 1u << 20;
    // Levels of Variants, DataValues, ExtensionObjects and DiagnosticInfos inside each
    // other; beyond it a crafted message could exhaust the stack.
    std::uint32_t maxNestingDepth = 32;
    // Bytes of memory the decoded values of one message may take (arrays, strings, the boxes
    // of nested values): one encoded byte can become a hundred in memory (a Boolean in a
    // Variant array), so the input's size alone does not bound it.
    std::size_t maxDecodedBytes = std::size_t{64} << 20;
};

class BinaryReader {
  public:
    // depth: the nesting levels already entered by an enclosing decoder (the body of an
    // ExtensionObject decoded on its own keeps counting the levels around it).
    explicit BinaryReader(std::span<const std::uint8_t> bytes, const DecodeLimits& limits = {},
                          std::uint32_t depth = 0);

    bool Ok() const { return status_ == kGood; }
    StatusCode Status() const { return status_; }
    // Records an error; the first one is kept. Every later read fails.
    void Fail(StatusCode status);

    std::size_t Remaining() const { return Ok() ? bytes_.size() - position_ : 0; }
    std::size_t Position() const { return position_; }
    const DecodeLimits& Limits() const { return limits_; }
    std::uint32_t Depth() const { return depth_; }

    std::uint8_t ReadByte();
    std::uint16_t ReadUInt16();
    std::uint32_t ReadUInt32();
    std::uint64_t ReadUInt64();
    // The next count bytes; empty (and BadDecodingError) when fewer are left.
    std::span<const std::uint8_t> ReadBytes(std::size_t count);

    // An Int32 length prefix of an array whose elements take at least minElementSize bytes
    // on the wire and elementMemory bytes once decoded (charged, see Charge). -1 (a null
    // array) gives 0. Other negatives and a length the remaining bytes
    // cannot hold give BadDecodingError, a length above maxArrayLength
    // BadEncodingLimitsExceeded; the result is then 0.
    std::uint32_t ReadArrayLength(std::size_t minElementSize, std::size_t elementMemory = 0);
    // The Int32 length prefix of a String, ByteString or XmlElement, bounded by limit and by
    // the bytes left, and charged; null (-1) sets isNull and gives 0.
    std::uint32_t ReadByteLength(std::uint32_t limit, bool& isNull);

    // Counts bytes of memory about to be taken for decoded values; false (and
    // BadEncodingLimitsExceeded) once they pass maxDecodedBytes.
    bool Charge(std::size_t bytes);

    // A reader of bytes carried inside what this reader decodes (an ExtensionObject's body):
    // it goes on with this reader's nesting depth and memory count.
    BinaryReader Nested(std::span<const std::uint8_t> bytes) const;
    // Takes back the memory a Nested reader counted.
    void TakeCharges(const BinaryReader& nested) { charged_ = nested.charged_; }

    // Enters one nesting level; false (and BadEncodingLimitsExceeded) beyond
    // maxNestingDepth. Each successful call is paired with LeaveNested.
    bool EnterNested();
    void LeaveNested() { --depth_; }

  private:
    bool Take(std::size_t count);

    std::span<const std::uint8_t> bytes_;
    DecodeLimits limits_;
    std::size_t position_ = 0;
    std::uint32_t depth_ = 0;
    std::size_t charged_ = 0;
    StatusCode status_ = kGood;
};

// Enters a nesting level for one scope.
class NestingScope {
  public:
    explicit NestingScope(BinaryReader& reader) : reader_(reader), entered_(reader.EnterNested()) {}
    ~NestingScope() {
        if (entered_) reader_.LeaveNested();
    }
    NestingScope(const NestingScope&) = delete;
    NestingScope& operator=(const NestingScope&) = delete;
    bool Entered() const { return entered_; }

  private:
    BinaryReader& reader_;
    bool entered_;
};

}  // namespace velk::ua
