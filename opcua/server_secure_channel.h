#pragma once
// The server side of one UA TCP connection and its secure channel as a state machine over
// bytes: received bytes go in, the bytes to send and the service
// requests come out. Nothing here touches a socket; the time comes from the clock given.
//
//   awaiting Hello --HEL/ACK--> awaiting Open --OPN issue--> open --CLO--> closed
//
// Any protocol error sends an Error message and closes. The Hello, and the OpenSecureChannel
// after it, must come within helloTimeoutMs of the connection; an open channel whose token
// is not renewed within its lifetime (and a grace of a quarter of it for late messages) is
// closed. The message security of the channel's policy comes from the IChannelSecurity
// given; without one the channel speaks SecurityPolicy None only.
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "opcua/channel_security.h"
#include "opcua/chunk_assembler.h"
#include "opcua/chunk_reader.h"
#include "opcua/connection_limits.h"
#include "opcua/node_id.h"
#include "opcua/secure_channel_messages.h"
#include "opcua/secure_conversation_headers.h"
#include "opcua/status_codes.h"
#include "platform/clock.h"

namespace velk::ua {

struct SecureChannelSettings {
    ServerConnectionLimits limits;
    std::uint32_t helloTimeoutMs = 10'000;
    // Bounds of a token's revised lifetime: the lower one keeps a client from making the
    // server renew without pause. A request for 0 gets the default.
    std::uint32_t minTokenLifetimeMs = 10'000;
    std::uint32_t maxTokenLifetimeMs = 3'600'000;
    std::uint32_t defaultTokenLifetimeMs = 600'000;
};

// A service request that came in on the channel.
struct ServiceRequest {
    std::uint32_t requestId = 0;
    // The NodeId of the request's binary encoding.
    NodeId typeId;
    // The encoded request after its type id.
    std::vector<std::uint8_t> body;
};

class ServerSecureChannel {
  public:
    enum class State { kAwaitingHello, kAwaitingOpen, kOpen, kClosed };

    // channelId: the id the server gives this channel, unique among its channels.
    ServerSecureChannel(const IClock& clock, std::uint32_t channelId,
                        SecureChannelSettings settings = {},
                        std::unique_ptr<IChannelSecurity> security = nullptr);

    // Bytes received on the connection, at most one receive buffer at a time.
    void OnReceived(std::span<const std::uint8_t> bytes);
    // Applies the time limits; called at least once a second.
    void CheckTimers();
    // Sends a response (its type id and body encoded) to the request requestId, in as many
    // chunks as it takes. A response beyond the client's limits is not sent and gives
    // BadResponseTooLarge: the caller answers with a ServiceFault instead.
    StatusCode SendResponse(std::uint32_t requestId, std::span<const std::uint8_t> message);

    std::vector<std::uint8_t> TakeOutput() { return std::move(output_); }
    std::vector<ServiceRequest> TakeRequests() { return std::move(requests_); }

    State state() const { return state_; }
    // Why the channel closed: Good after a CloseSecureChannel, else the error sent.
    StatusCode closeReason() const { return closeReason_; }
    const std::string& closeText() const { return closeText_; }
    std::uint32_t channelId() const { return channelId_; }
    const ConnectionLimits& limits() const { return limits_; }
    const std::string& endpointUrl() const { return endpointUrl_; }
    const ChannelSecurityToken& token() const { return token_; }

  private:
    struct Token {
        ChannelSecurityToken token;
        std::uint32_t createdTick = 0;
    };

    void OnChunk(const Chunk& chunk);
    void OnHello(const Chunk& chunk);
    void OnSecureMessage(MessageType type, std::uint32_t requestId,
                         std::span<const std::uint8_t> body);
    void OnOpen(std::uint32_t requestId, std::span<const std::uint8_t> body);
    // Sends an Error message (with sent instead of error where one is given) and closes;
    // closeReason() keeps error.
    void Fail(StatusCode error, std::string_view reason, StatusCode sent = kGood);
    bool CheckSequenceNumber(std::uint32_t sequenceNumber);
    bool CheckToken(std::uint32_t tokenId);
    bool Expired(const Token& token) const;
    std::uint32_t NextSequenceNumber();
    StatusCode SendChunks(MessageType type, std::uint32_t requestId,
                          std::span<const std::uint8_t> body);

    const IClock& clock_;
    const std::uint32_t channelId_;
    const SecureChannelSettings settings_;
    const std::unique_ptr<IChannelSecurity> security_;
    const std::uint32_t startTick_;
    State state_ = State::kAwaitingHello;
    ChunkReader reader_;
    std::optional<ChunkAssembler> assembler_;
    MessageType assembling_ = MessageType::kMessage;
    ConnectionLimits limits_;
    std::string endpointUrl_;
    Token current_;
    // The token before a renewal, valid until the client uses the new one or it expires.
    std::optional<Token> previous_;
    ChannelSecurityToken token_;
    std::optional<std::uint32_t> lastReceivedSequence_;
    std::uint32_t lastSentSequence_ = 0;
    std::vector<std::uint8_t> output_;
    std::vector<ServiceRequest> requests_;
    StatusCode closeReason_ = kGood;
    std::string closeText_;
};

}  // namespace velk::ua
