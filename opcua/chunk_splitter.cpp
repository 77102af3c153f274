// The splitting of a body into chunk pieces.
#include "opcua/chunk_splitter.h"

#include <algorithm>

namespace velk::ua {

StatusCode SplitBody(std::size_t bodySize, std::size_t maxBodyPerChunk,
                     std::uint32_t maxMessageSize, std::uint32_t maxChunkCount,
                     std::vector<ChunkPiece>& pieces) {
    pieces.clear();
    if (maxBodyPerChunk == 0) return kBadInternalError;
    if (maxMessageSize != 0 && bodySize > maxMessageSize) return kBadResponseTooLarge;
    const std::size_t count =
        bodySize == 0 ? 1 : (bodySize + maxBodyPerChunk - 1) / maxBodyPerChunk;
    if (maxChunkCount != 0 && count > maxChunkCount) return kBadResponseTooLarge;
    pieces.reserve(count);
    for (std::size_t offset = 0; pieces.size() < count; offset += maxBodyPerChunk) {
        pieces.push_back({offset, std::min(maxBodyPerChunk, bodySize - offset)});
    }
    return kGood;
}

}  // namespace velk::ua
