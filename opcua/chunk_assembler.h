#pragma once
// Joins the bodies of a message's chunks: intermediate chunks ('C') are kept until the final
// one ('F') completes the message; an abort chunk ('A') drops them. A message's chunks come
// one after the other, with one request id, and stay within the connection's limits.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "opcua/status_codes.h"
#include "opcua/ua_tcp_messages.h"

namespace velk::ua {

struct AssembledMessage {
    std::uint32_t requestId = 0;
    std::vector<std::uint8_t> body;
};

class ChunkAssembler {
  public:
    enum class Outcome {
        kIncomplete,  // a chunk kept; more to come
        kComplete,    // message() holds the whole message
        kAborted,     // the sender dropped the message: abortError() and abortReason() say why
        kFailed,      // error() says why; the connection is closed
    };

    // maxMessageSize, maxChunkCount: the bounds of one message's body and chunks (0: none).
    ChunkAssembler(std::uint32_t maxMessageSize, std::uint32_t maxChunkCount)
        : maxMessageSize_(maxMessageSize), maxChunkCount_(maxChunkCount) {}

    // One chunk's body (what follows its security and sequence headers). A body that would
    // take the message past maxMessageSize, or a chunk past maxChunkCount, is
    // BadRequestTooLarge; a chunk of another request while one is in progress, or an abort
    // body that does not decode, BadDecodingError.
    Outcome Add(ChunkType type, std::uint32_t requestId, std::span<const std::uint8_t> body);

    AssembledMessage& message() { return message_; }
    StatusCode error() const { return error_; }
    StatusCode abortError() const { return abortError_; }
    const std::string& abortReason() const { return abortReason_; }
    bool InProgress() const { return chunks_ != 0; }

  private:
    Outcome Fail(StatusCode error);

    std::uint32_t maxMessageSize_;
    std::uint32_t maxChunkCount_;
    std::uint32_t chunks_ = 0;
    AssembledMessage message_;
    StatusCode error_ = kGood;
    StatusCode abortError_ = kGood;
    std::string abortReason_;
};

}  // namespace velk::ua
