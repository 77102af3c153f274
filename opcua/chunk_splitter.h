#pragma once
// Splits a message body to be sent into the pieces that go into one chunk each, within the
// peer's limits.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "opcua/status_codes.h"

namespace velk::ua {

struct ChunkPiece {
    std::size_t offset = 0;
    std::size_t size = 0;
    bool operator==(const ChunkPiece&) const = default;
};

// The pieces of a body of bodySize bytes, at most maxBodyPerChunk each (an empty body is
// one empty piece). A body over maxMessageSize or needing more than maxChunkCount chunks
// (0: no limit) is BadResponseTooLarge; a maxBodyPerChunk of 0 BadInternalError. Nothing is
// sent then: the caller answers with the error instead.
StatusCode SplitBody(std::size_t bodySize, std::size_t maxBodyPerChunk,
                     std::uint32_t maxMessageSize, std::uint32_t maxChunkCount,
                     std::vector<ChunkPiece>& pieces);

}  // namespace velk::ua
