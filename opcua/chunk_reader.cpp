// The cutting of the byte stream into chunks.
#include "opcua/chunk_reader.h"

namespace velk::ua {

void ChunkReader::Append(std::span<const std::uint8_t> bytes) {
    if (failed_ != kGood) return;
    // Drop what was already handed out before growing the buffer.
    if (start_ != 0) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(start_));
        start_ = 0;
    }
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
}

bool ChunkReader::Next(Chunk& chunk, StatusCode& status) {
    status = failed_;
    if (failed_ != kGood || Buffered() < kMessageHeaderSize) return false;
    const std::span<const std::uint8_t> pending(buffer_.data() + start_, Buffered());
    MessageHeader header;
    status = ParseMessageHeader(pending, header);
    if (status == kGood && header.size > maxChunkSize_) status = kBadTcpMessageTooLarge;
    if (status != kGood) {
        failed_ = status;
        buffer_.clear();
        start_ = 0;
        return false;
    }
    if (pending.size() < header.size) return false;
    chunk.header = header;
    chunk.bytes.assign(pending.begin(), pending.begin() + header.size);
    start_ += header.size;
    if (start_ == buffer_.size()) {
        buffer_.clear();
        start_ = 0;
    }
    return true;
}

}  // namespace velk::ua
