// The server's connection and secure channel state machine.
#include "opcua/server_secure_channel.h"

#include <algorithm>

#include "opcua/chunk_splitter.h"
#include "opcua/structure_codec.h"

namespace velk::ua {

namespace {

// Sequence numbers wrap to a value below 1024 once they are past this value. A peer that
// wraps right after it is taken too: widespread clients do.
constexpr std::uint32_t kSequenceWrapFrom = 0xFFFFFFFFu - 1024;
constexpr std::uint32_t kSequenceWrapBelow = 1024;

}  // namespace

ServerSecureChannel::ServerSecureChannel(const IClock& clock, std::uint32_t channelId,
                                         SecureChannelSettings settings,
                                         std::unique_ptr<IChannelSecurity> security)
    : clock_(clock),
      channelId_(channelId),
      settings_(settings),
      security_(std::move(security)),
      startTick_(clock.TickCount()),
      reader_(std::max(settings.limits.receiveBufferSize, kMinBufferSize)) {}

void ServerSecureChannel::OnReceived(std::span<const std::uint8_t> bytes) {
    if (state_ == State::kClosed) return;
    reader_.Append(bytes);
    Chunk chunk;
    StatusCode status;
    while (state_ != State::kClosed && reader_.Next(chunk, status)) OnChunk(chunk);
    if (state_ != State::kClosed && status != kGood) Fail(status, "malformed chunk");
}

void ServerSecureChannel::CheckTimers() {
    if (state_ == State::kClosed) return;
    const std::uint32_t elapsed = clock_.TickCount() - startTick_;
    if (state_ != State::kOpen && elapsed >= settings_.helloTimeoutMs) {
        Fail(kBadTimeout,
             state_ == State::kAwaitingHello ? "no Hello in time" : "no OpenSecureChannel in time");
    } else if (state_ == State::kOpen && Expired(current_)) {
        Fail(kBadSecureChannelClosed, "security token expired");
    }
}

void ServerSecureChannel::Fail(StatusCode error, std::string_view reason, StatusCode sent) {
    const auto message =
        EncodeMessage(ErrorMessage{sent == kGood ? error : sent, std::string(reason)});
    output_.insert(output_.end(), message.begin(), message.end());
    state_ = State::kClosed;
    closeReason_ = error;
    closeText_ = reason;
    requests_.clear();
}

void ServerSecureChannel::OnChunk(const Chunk& chunk) {
    const MessageType type = chunk.header.type;
    if (type == MessageType::kHello) {
        if (state_ != State::kAwaitingHello) return Fail(kBadTcpMessageTypeInvalid, "second Hello");
        return OnHello(chunk);
    }
    if (state_ == State::kAwaitingHello) return Fail(kBadTcpMessageTypeInvalid, "Hello expected");
    if (type != MessageType::kOpenSecureChannel && type != MessageType::kMessage &&
        type != MessageType::kCloseSecureChannel) {
        return Fail(kBadTcpMessageTypeInvalid, "unexpected message type");
    }

    std::span<const std::uint8_t> bytes = chunk.bytes;
    std::vector<std::uint8_t> opened;
    if (security_) {
        const StatusCode security = type == MessageType::kOpenSecureChannel
                                        ? security_->OpenAsymmetricChunk(bytes, opened)
                                        : security_->OpenSymmetricChunk(bytes, opened);
        if (security != kGood) {
            // A refused client certificate is traced with its reason; the client is told only
            // that the security checks failed, so a stranger learns nothing of the trust list.
            const bool certificate = StatusCodeName(security).starts_with("BadCertificate");
            return Fail(security, "message security refused",
                        certificate ? kBadSecurityChecksFailed : security);
        }
        bytes = opened;
    }
    SecureChunk parsed;
    const StatusCode status = ParseSecureChunk(bytes, parsed);
    if (status != kGood) return Fail(status, "malformed secure chunk");

    if (type == MessageType::kOpenSecureChannel) {
        if (!security_ && parsed.asymmetric.securityPolicyUri != kSecurityPolicyNoneUri) {
            return Fail(kBadSecurityPolicyRejected, "security policy not offered");
        }
        // A renewal names the channel it renews; the first request names none.
        if (state_ == State::kOpen && parsed.secureChannelId != channelId_) {
            return Fail(kBadSecureChannelIdInvalid, "unknown secure channel");
        }
        if (state_ == State::kAwaitingOpen) lastReceivedSequence_.reset();
    } else {
        if (state_ != State::kOpen) return Fail(kBadSecureChannelIdInvalid, "no secure channel");
        if (parsed.secureChannelId != channelId_) {
            return Fail(kBadSecureChannelIdInvalid, "unknown secure channel");
        }
        if (!CheckToken(parsed.tokenId)) {
            return Fail(kBadSecureChannelTokenUnknown, "unknown security token");
        }
    }
    if (!CheckSequenceNumber(parsed.sequenceNumber)) {
        return Fail(kBadSequenceNumberInvalid, "sequence number out of order");
    }

    if (assembler_->InProgress() && assembling_ != type) {
        return Fail(kBadDecodingError, "chunks of two messages interleaved");
    }
    assembling_ = type;
    switch (assembler_->Add(parsed.header.chunk, parsed.requestId, parsed.body)) {
        case ChunkAssembler::Outcome::kIncomplete:
        case ChunkAssembler::Outcome::kAborted:
            return;
        case ChunkAssembler::Outcome::kFailed:
            return Fail(assembler_->error(), "message beyond the limits");
        case ChunkAssembler::Outcome::kComplete:
            break;
    }
    AssembledMessage& message = assembler_->message();
    OnSecureMessage(type, message.requestId, message.body);
}

void ServerSecureChannel::OnHello(const Chunk& chunk) {
    HelloMessage hello;
    StatusCode status =
        DecodeMessageBody(std::span(chunk.bytes).subspan(kMessageHeaderSize), hello);
    if (status != kGood) return Fail(status, "malformed Hello");
    AcknowledgeMessage ack;
    status = NegotiateHello(hello, settings_.limits, ack, limits_);
    if (status != kGood) return Fail(status, "buffers too small");
    endpointUrl_ = hello.endpointUrl;
    reader_.SetMaxChunkSize(limits_.receiveBufferSize);
    assembler_.emplace(limits_.maxRequestMessageSize, limits_.maxRequestChunkCount);
    const auto bytes = EncodeMessage(ack);
    output_.insert(output_.end(), bytes.begin(), bytes.end());
    state_ = State::kAwaitingOpen;
}

void ServerSecureChannel::OnSecureMessage(MessageType type, std::uint32_t requestId,
                                          std::span<const std::uint8_t> body) {
    if (type == MessageType::kOpenSecureChannel) return OnOpen(requestId, body);
    BinaryReader r(body);
    ServiceRequest request;
    request.requestId = requestId;
    Decode(r, request.typeId);
    if (!r.Ok()) return Fail(kBadDecodingError, "malformed message type");
    if (type == MessageType::kCloseSecureChannel) {
        // The client leaves; there is no answer.
        state_ = State::kClosed;
        closeReason_ = kGood;
        closeText_ = "closed by the client";
        return;
    }
    const auto rest = body.subspan(r.Position());
    request.body.assign(rest.begin(), rest.end());
    requests_.push_back(std::move(request));
}

void ServerSecureChannel::OnOpen(std::uint32_t requestId, std::span<const std::uint8_t> body) {
    BinaryReader r(body);
    NodeId typeId;
    OpenSecureChannelRequest request;
    Decode(r, typeId);
    if (r.Ok() && typeId != BinaryEncodingId<OpenSecureChannelRequest>()) {
        r.Fail(kBadDecodingError);
    }
    Decode(r, request);
    if (!r.Ok() || r.Remaining() != 0) {
        return Fail(kBadDecodingError, "malformed OpenSecureChannel");
    }
    if (!security_ && request.securityMode != MessageSecurityMode::kNone) {
        return Fail(kBadSecurityModeRejected, "security mode not offered");
    }
    const bool issue = request.requestType == SecurityTokenRequestType::kIssue;
    const bool renew = request.requestType == SecurityTokenRequestType::kRenew;
    if ((issue && state_ != State::kAwaitingOpen) || (renew && state_ != State::kOpen) ||
        (!issue && !renew)) {
        return Fail(kBadSecureChannelIdInvalid, "token request out of place");
    }

    const std::uint32_t requested = request.requestedLifetime == 0
                                        ? settings_.defaultTokenLifetimeMs
                                        : request.requestedLifetime;
    const std::uint32_t tokenId = issue ? 1 : current_.token.tokenId + 1;
    ByteString serverNonce;
    if (security_) {
        const StatusCode accepted =
            security_->AcceptToken(request.securityMode, request.clientNonce, tokenId, serverNonce);
        if (accepted != kGood) return Fail(accepted, "security token refused");
    }
    Token token;
    token.createdTick = clock_.TickCount();
    token.token.channelId = channelId_;
    token.token.tokenId = tokenId;
    token.token.createdAt = DateTime{static_cast<std::int64_t>(clock_.NowUtc())};
    token.token.revisedLifetime =
        std::clamp(requested, settings_.minTokenLifetimeMs, settings_.maxTokenLifetimeMs);
    if (renew) previous_ = current_;
    current_ = token;
    token_ = token.token;
    state_ = State::kOpen;

    OpenSecureChannelResponse response;
    response.responseHeader.timestamp = token.token.createdAt;
    response.responseHeader.requestHandle = request.requestHeader.requestHandle;
    response.serverProtocolVersion = kProtocolVersion;
    response.securityToken = token.token;
    response.serverNonce = std::move(serverNonce);
    const auto message = EncodeServiceMessage(response);
    const StatusCode sent = SendChunks(MessageType::kOpenSecureChannel, requestId, message);
    if (sent != kGood) Fail(sent, "OpenSecureChannel response not sent");
}

bool ServerSecureChannel::CheckSequenceNumber(std::uint32_t sequenceNumber) {
    if (lastReceivedSequence_) {
        const std::uint32_t last = *lastReceivedSequence_;
        const bool next = last != 0xFFFFFFFFu && sequenceNumber == last + 1;
        const bool wrapped = last >= kSequenceWrapFrom && sequenceNumber < kSequenceWrapBelow;
        if (!next && !wrapped) return false;
    }
    lastReceivedSequence_ = sequenceNumber;
    return true;
}

bool ServerSecureChannel::Expired(const Token& token) const {
    // A quarter of the lifetime more, for messages sent just before the end that the network
    // or the peers' clocks made late.
    const std::uint64_t lifetime = token.token.revisedLifetime;
    return clock_.TickCount() - token.createdTick >= lifetime + lifetime / 4;
}

bool ServerSecureChannel::CheckToken(std::uint32_t tokenId) {
    if (tokenId == current_.token.tokenId) {
        // The client took up the renewed token: the old one ends.
        previous_.reset();
        return !Expired(current_);
    }
    return previous_ && tokenId == previous_->token.tokenId && !Expired(*previous_);
}

std::uint32_t ServerSecureChannel::NextSequenceNumber() {
    lastSentSequence_ = lastSentSequence_ > kSequenceWrapFrom ? 1 : lastSentSequence_ + 1;
    return lastSentSequence_;
}

StatusCode ServerSecureChannel::SendResponse(std::uint32_t requestId,
                                             std::span<const std::uint8_t> message) {
    if (state_ != State::kOpen) return kBadSecureChannelClosed;
    return SendChunks(MessageType::kMessage, requestId, message);
}

StatusCode ServerSecureChannel::SendChunks(MessageType type, std::uint32_t requestId,
                                           std::span<const std::uint8_t> body) {
    const std::size_t overhead = type == MessageType::kOpenSecureChannel
                                     ? AsymmetricNoneChunkOverhead()
                                     : kSymmetricChunkOverhead;
    const std::size_t maxBody = security_ ? security_->MaxChunkBody(type, limits_.sendBufferSize)
                                          : limits_.sendBufferSize - overhead;
    std::vector<ChunkPiece> pieces;
    const StatusCode status = SplitBody(body.size(), maxBody, limits_.maxResponseMessageSize,
                                        limits_.maxResponseChunkCount, pieces);
    if (status != kGood) return status;
    // Until the client uses a renewed token, answers go out under the one it still uses.
    const std::uint32_t tokenId = previous_ ? previous_->token.tokenId : current_.token.tokenId;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const ChunkType chunk =
            i + 1 == pieces.size() ? ChunkType::kFinal : ChunkType::kIntermediate;
        const auto piece = body.subspan(pieces[i].offset, pieces[i].size);
        if (!security_) {
            AppendSecureChunk(output_, type, chunk, channelId_, tokenId, NextSequenceNumber(),
                              requestId, piece);
            continue;
        }
        const StatusCode appended = security_->AppendChunk(
            output_, type, chunk, channelId_, tokenId, NextSequenceNumber(), requestId, piece);
        if (appended != kGood) return appended;
    }
    return kGood;
}

}  // namespace velk::ua
