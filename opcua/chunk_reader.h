#pragma once
// Cuts the byte stream of a connection into whole chunks by the size in their headers. A
// header is judged as soon as its 8 bytes are in, so a chunk too large for the negotiated
// buffer is refused before its body is taken.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "opcua/status_codes.h"
#include "opcua/ua_tcp_messages.h"

namespace velk::ua {

struct Chunk {
    MessageHeader header;
    // The whole chunk, header included.
    std::vector<std::uint8_t> bytes;
};

class ChunkReader {
  public:
    // maxChunkSize: the largest chunk taken; before the Hello the server's receive buffer,
    // after it the negotiated one.
    explicit ChunkReader(std::uint32_t maxChunkSize) : maxChunkSize_(maxChunkSize) {}
    void SetMaxChunkSize(std::uint32_t maxChunkSize) { maxChunkSize_ = maxChunkSize; }

    // Takes received bytes. The reader keeps what is not yet a whole chunk; a caller reads at
    // most one buffer's worth at a time and takes the chunks out with Next before the next
    // read, so what is kept stays below two buffers.
    void Append(std::span<const std::uint8_t> bytes);

    // The next whole chunk: true with chunk set; false with kGood in status when more bytes
    // are needed; false with an error (from ParseMessageHeader, or BadTcpMessageTooLarge for a
    // chunk above the maximum) after which the connection is beyond repair and every later
    // call gives the same error.
    bool Next(Chunk& chunk, StatusCode& status);

    std::size_t Buffered() const { return buffer_.size() - start_; }

  private:
    std::vector<std::uint8_t> buffer_;
    std::size_t start_ = 0;
    std::uint32_t maxChunkSize_;
    StatusCode failed_ = kGood;
};

}  // namespace velk::ua
