// The joining of chunk bodies into messages.
#include "opcua/chunk_assembler.h"

namespace velk::ua {

ChunkAssembler::Outcome ChunkAssembler::Fail(StatusCode error) {
    error_ = error;
    chunks_ = 0;
    message_ = {};
    return Outcome::kFailed;
}

ChunkAssembler::Outcome ChunkAssembler::Add(ChunkType type, std::uint32_t requestId,
                                            std::span<const std::uint8_t> body) {
    if (error_ != kGood) return Outcome::kFailed;
    if (chunks_ == 0) {
        message_ = {};
        message_.requestId = requestId;
    } else if (requestId != message_.requestId) {
        return Fail(kBadDecodingError);
    }

    if (type == ChunkType::kAbort) {
        ErrorMessage abort;
        if (DecodeMessageBody(body, abort) != kGood) return Fail(kBadDecodingError);
        abortError_ = abort.error;
        abortReason_ = std::move(abort.reason);
        chunks_ = 0;
        message_.body.clear();
        return Outcome::kAborted;
    }

    if (maxChunkCount_ != 0 && chunks_ + 1 > maxChunkCount_) return Fail(kBadRequestTooLarge);
    if (maxMessageSize_ != 0 && body.size() > maxMessageSize_ - message_.body.size()) {
        return Fail(kBadRequestTooLarge);
    }
    message_.body.insert(message_.body.end(), body.begin(), body.end());
    if (type == ChunkType::kIntermediate) {
        ++chunks_;
        return Outcome::kIncomplete;
    }
    chunks_ = 0;
    return Outcome::kComplete;
}

}  // namespace velk::ua
