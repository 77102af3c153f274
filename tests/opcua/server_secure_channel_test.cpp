// The server's connection and secure channel state machine over bytes, with a fake clock:
// the Hello/Acknowledge and OpenSecureChannel handshake, requests and responses in chunks,
// sequence numbers, token ids and lifetimes, the time limits and every fatal refusal.
#include "opcua/server_secure_channel.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "opcua/chunk_reader.h"
#include "opcua/secure_channel_messages.h"
#include "tests/opcua/ua_test_support.h"
#include "tests/support/fake_clock.h"

namespace velk::ua {
namespace {

using test::Bytes;

constexpr std::uint32_t kChannelId = 42;

// The client's side of the conversation, written by hand from the message layouts.
struct Client {
    void Hello(std::uint32_t receiveBuffer = 65535, std::uint32_t maxMessage = 0) {
        Send(EncodeMessage(
            HelloMessage{0, receiveBuffer, 65535, maxMessage, 0, "opc.tcp://h:4840"}));
    }

    Bytes OpenBody(SecurityTokenRequestType type, std::uint32_t lifetime,
                   MessageSecurityMode mode = MessageSecurityMode::kNone) {
        OpenSecureChannelRequest request;
        request.requestHeader.requestHandle = 77;
        request.requestType = type;
        request.securityMode = mode;
        request.requestedLifetime = lifetime;
        return EncodeServiceMessage(request);
    }

    void Open(std::uint32_t lifetime = 60'000, std::uint32_t channelId = 0,
              SecurityTokenRequestType type = SecurityTokenRequestType::kIssue) {
        Bytes chunk;
        AppendSecureChunk(chunk, MessageType::kOpenSecureChannel, ChunkType::kFinal, channelId, 0,
                          sequence_++, 1, OpenBody(type, lifetime));
        Send(chunk);
    }

    void Handshake(std::uint32_t lifetime = 60'000) {
        Hello();
        Open(lifetime);
        ASSERT_EQ(channel_.state(), ServerSecureChannel::State::kOpen);
        Replies();
    }

    void Message(ChunkType kind, std::uint32_t requestId, const Bytes& body,
                 std::uint32_t tokenId = 1, std::uint32_t channelId = kChannelId) {
        Bytes chunk;
        AppendSecureChunk(chunk, MessageType::kMessage, kind, channelId, tokenId, sequence_++,
                          requestId, body);
        Send(chunk);
    }

    void Send(const Bytes& bytes) { channel_.OnReceived(bytes); }

    // The chunks the server sent since the last call.
    std::vector<Chunk> Replies() {
        ChunkReader reader(1u << 20);
        reader.Append(channel_.TakeOutput());
        std::vector<Chunk> chunks;
        Chunk chunk;
        StatusCode status;
        while (reader.Next(chunk, status)) chunks.push_back(chunk);
        EXPECT_EQ(status, kGood);
        return chunks;
    }

    // The Error message the server sent last, and that it closed.
    StatusCode ErrorSent() {
        const auto chunks = Replies();
        EXPECT_EQ(channel_.state(), ServerSecureChannel::State::kClosed);
        if (chunks.empty() || chunks.back().header.type != MessageType::kError) {
            ADD_FAILURE() << "no Error message";
            return kGood;
        }
        ErrorMessage error;
        EXPECT_EQ(
            DecodeMessageBody(std::span(chunks.back().bytes).subspan(kMessageHeaderSize), error),
            kGood);
        EXPECT_EQ(error.error, channel_.closeReason());
        return error.error;
    }

    OpenSecureChannelResponse OpenResponse(const Chunk& chunk) {
        SecureChunk parsed;
        EXPECT_EQ(ParseSecureChunk(chunk.bytes, parsed), kGood);
        BinaryReader r(parsed.body);
        NodeId typeId;
        OpenSecureChannelResponse response;
        Decode(r, typeId);
        Decode(r, response);
        EXPECT_TRUE(r.Ok());
        EXPECT_EQ(typeId, NodeId::Numeric(0, 449));
        return response;
    }

    testing::FakeClock clock_;
    ServerSecureChannel channel_{clock_, kChannelId};
    std::uint32_t sequence_ = 51;
};

class ChannelTest : public ::testing::Test, protected Client {};

TEST_F(ChannelTest, HelloAndOpenGiveAnAcknowledgeAndAToken) {
    Hello(16384);
    auto replies = Replies();
    ASSERT_EQ(replies.size(), 1u);
    AcknowledgeMessage ack;
    ASSERT_EQ(DecodeMessageBody(std::span(replies[0].bytes).subspan(kMessageHeaderSize), ack),
              kGood);
    EXPECT_EQ(ack.sendBufferSize, 16384u);
    EXPECT_EQ(channel_.endpointUrl(), "opc.tcp://h:4840");
    EXPECT_EQ(channel_.state(), ServerSecureChannel::State::kAwaitingOpen);

    Open(60'000);
    replies = Replies();
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].header.type, MessageType::kOpenSecureChannel);
    SecureChunk parsed;
    ASSERT_EQ(ParseSecureChunk(replies[0].bytes, parsed), kGood);
    EXPECT_EQ(parsed.secureChannelId, kChannelId);
    EXPECT_EQ(parsed.asymmetric.securityPolicyUri, kSecurityPolicyNoneUri);
    EXPECT_EQ(parsed.requestId, 1u);
    const auto response = OpenResponse(replies[0]);
    EXPECT_EQ(response.responseHeader.requestHandle, 77u);
    EXPECT_EQ(response.securityToken.channelId, kChannelId);
    EXPECT_EQ(response.securityToken.tokenId, 1u);
    EXPECT_EQ(response.securityToken.revisedLifetime, 60'000u);
    EXPECT_EQ(response.securityToken.createdAt.ticks, static_cast<std::int64_t>(clock_.NowUtc()));
}

TEST_F(ChannelTest, RequestsAreJoinedAndResponsesChunkedInOrder) {
    Handshake();
    const Bytes typeId = test::EncodeBytes(NodeId::Numeric(0, 631));
    Bytes first = typeId;
    first.push_back(1);
    Message(ChunkType::kIntermediate, 9, first);
    EXPECT_TRUE(channel_.TakeRequests().empty());
    Message(ChunkType::kFinal, 9, Bytes{2, 3});
    const auto requests = channel_.TakeRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].requestId, 9u);
    EXPECT_EQ(requests[0].typeId, NodeId::Numeric(0, 631));
    EXPECT_EQ(requests[0].body, (Bytes{1, 2, 3}));

    // 20000 bytes fit one chunk of the negotiated 65535 bytes.
    const Bytes big(20'000, 0xAB);
    ASSERT_EQ(channel_.SendResponse(9, big), kGood);
    const auto chunks = Replies();
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(chunks[0].header.chunk, ChunkType::kFinal);
}

TEST_F(ChannelTest, ALargeResponseGoesOutInChunksWithinTheClientsBuffer) {
    Hello(8192);
    Replies();
    Open();
    const auto open = Replies();
    ASSERT_EQ(open.size(), 1u);
    SecureChunk openParsed;
    ASSERT_EQ(ParseSecureChunk(open[0].bytes, openParsed), kGood);

    const Bytes big(20'000, 0xAB);
    ASSERT_EQ(channel_.SendResponse(5, big), kGood);
    const auto chunks = Replies();
    ASSERT_EQ(chunks.size(), 3u);
    Bytes joined;
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        SecureChunk parsed;
        ASSERT_EQ(ParseSecureChunk(chunks[i].bytes, parsed), kGood);
        EXPECT_LE(chunks[i].bytes.size(), 8192u);
        EXPECT_EQ(parsed.header.chunk, i == 2 ? ChunkType::kFinal : ChunkType::kIntermediate);
        EXPECT_EQ(parsed.requestId, 5u);
        EXPECT_EQ(parsed.tokenId, 1u);
        EXPECT_EQ(parsed.sequenceNumber, openParsed.sequenceNumber + 1 + i);
        joined.insert(joined.end(), parsed.body.begin(), parsed.body.end());
    }
    EXPECT_EQ(joined, big);
}

TEST_F(ChannelTest, AResponseBeyondTheClientsMaximumIsNotSent) {
    Hello(65535, 100);
    Open();
    Replies();
    EXPECT_EQ(channel_.SendResponse(5, Bytes(101, 0)), kBadResponseTooLarge);
    EXPECT_TRUE(Replies().empty());
    EXPECT_EQ(channel_.SendResponse(5, Bytes(100, 0)), kGood);
    EXPECT_EQ(channel_.state(), ServerSecureChannel::State::kOpen);
}

TEST_F(ChannelTest, SequenceNumbersFollowOnAndWrapBelow1024) {
    sequence_ = 0xFFFFFFFFu - 1024;
    Handshake();
    sequence_ = 3;  // wrapped
    Message(ChunkType::kFinal, 2, test::EncodeBytes(NodeId::Numeric(0, 631)));
    EXPECT_EQ(channel_.state(), ServerSecureChannel::State::kOpen);
    EXPECT_EQ(channel_.TakeRequests().size(), 1u);
    sequence_ = 3;  // the same number again
    Message(ChunkType::kFinal, 3, test::EncodeBytes(NodeId::Numeric(0, 631)));
    EXPECT_EQ(ErrorSent(), kBadSequenceNumberInvalid);

    // One number earlier is too early to wrap.
    Client early;
    early.sequence_ = 0xFFFFFFFFu - 1025;
    early.Hello();
    early.Open();
    early.sequence_ = 3;
    early.Message(ChunkType::kFinal, 2, test::EncodeBytes(NodeId::Numeric(0, 631)));
    EXPECT_EQ(early.ErrorSent(), kBadSequenceNumberInvalid);
}

TEST_F(ChannelTest, FatalRefusals) {
    struct Case {
        const char* name;
        void (*act)(Client&);
        StatusCode error;
    };
    const Case cases[] = {
        {"a message before the Hello", [](Client& t) { t.Message(ChunkType::kFinal, 1, {}); },
         kBadTcpMessageTypeInvalid},
        {"a second Hello",
         [](Client& t) {
             t.Hello();
             t.Hello();
         },
         kBadTcpMessageTypeInvalid},
        {"an Acknowledge from the client",
         [](Client& t) {
             t.Hello();
             t.Send(EncodeMessage(AcknowledgeMessage{0, 8192, 8192, 0, 0}));
         },
         kBadTcpMessageTypeInvalid},
        {"a message before the channel is open",
         [](Client& t) {
             t.Hello();
             t.Message(ChunkType::kFinal, 1, {});
         },
         kBadSecureChannelIdInvalid},
        {"another channel's id",
         [](Client& t) {
             t.Handshake();
             t.Message(ChunkType::kFinal, 1, {}, 1, kChannelId + 1);
         },
         kBadSecureChannelIdInvalid},
        {"an unknown token",
         [](Client& t) {
             t.Handshake();
             t.Message(ChunkType::kFinal, 1, {}, 2);
         },
         kBadSecureChannelTokenUnknown},
        {"a skipped sequence number",
         [](Client& t) {
             t.Handshake();
             ++t.sequence_;
             t.Message(ChunkType::kFinal, 1, {});
         },
         kBadSequenceNumberInvalid},
        {"another security policy",
         [](Client& t) {
             t.Hello();
             Bytes chunk;
             AppendMessageHeader(chunk, MessageType::kOpenSecureChannel, ChunkType::kFinal);
             BinaryWriter w;
             w.WriteUInt32(0);
             Encode(w, std::string("http://opcfoundation.org/UA/SecurityPolicy#Basic256Sha256"));
             w.WriteUInt32(0xFFFFFFFF);
             w.WriteUInt32(0xFFFFFFFF);
             w.WriteUInt32(1);
             w.WriteUInt32(1);
             w.WriteBytes(t.OpenBody(SecurityTokenRequestType::kIssue, 60'000));
             chunk.insert(chunk.end(), w.Bytes().begin(), w.Bytes().end());
             FinishMessage(chunk);
             t.Send(chunk);
         },
         kBadSecurityPolicyRejected},
        {"a signing security mode",
         [](Client& t) {
             t.Hello();
             Bytes chunk;
             AppendSecureChunk(
                 chunk, MessageType::kOpenSecureChannel, ChunkType::kFinal, 0, 0, 1, 1,
                 t.OpenBody(SecurityTokenRequestType::kIssue, 60'000, MessageSecurityMode::kSign));
             t.Send(chunk);
         },
         kBadSecurityModeRejected},
        {"a renewal before the channel is open",
         [](Client& t) {
             t.Hello();
             t.Open(60'000, 0, SecurityTokenRequestType::kRenew);
         },
         kBadSecureChannelIdInvalid},
        {"a renewal of another channel",
         [](Client& t) {
             t.Handshake();
             t.Open(60'000, kChannelId + 1, SecurityTokenRequestType::kRenew);
         },
         kBadSecureChannelIdInvalid},
        {"a chunk over the negotiated buffer",
         [](Client& t) {
             t.Handshake();
             t.Message(ChunkType::kFinal, 1, Bytes(65535, 0));
         },
         kBadTcpMessageTooLarge},
        {"an unknown message type",
         [](Client& t) {
             t.Send(Bytes{'H', 'E', 'Y', 'F', 8, 0, 0, 0});
         },
         kBadTcpMessageTypeInvalid},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Client t;
        c.act(t);
        EXPECT_EQ(t.ErrorSent(), c.error);
        // A closed channel takes nothing more.
        t.Hello();
        EXPECT_TRUE(t.Replies().empty());
    }
}

TEST_F(ChannelTest, TheHelloAndTheOpenMustComeWithinTenSeconds) {
    clock_.Advance(9'999);
    channel_.CheckTimers();
    EXPECT_EQ(channel_.state(), ServerSecureChannel::State::kAwaitingHello);
    clock_.Advance(1);
    channel_.CheckTimers();
    EXPECT_EQ(ErrorSent(), kBadTimeout);

    Client later;
    later.Hello();
    later.Replies();
    later.clock_.Advance(10'000);
    later.channel_.CheckTimers();
    EXPECT_EQ(later.ErrorSent(), kBadTimeout);
}

TEST_F(ChannelTest, TokenLifetimesAreBoundedAndExpire) {
    struct Case {
        std::uint32_t requested, revised;
    };
    for (const Case c : {Case{1, 10'000}, Case{0, 600'000}, Case{1'000'000'000, 3'600'000},
                         Case{30'000, 30'000}}) {
        Client t;
        t.Hello();
        t.Replies();
        t.Open(c.requested);
        const auto replies = t.Replies();
        ASSERT_EQ(replies.size(), 1u);
        EXPECT_EQ(t.OpenResponse(replies[0]).securityToken.revisedLifetime, c.revised);
    }

    // A token serves its lifetime and a quarter more for late messages, then the channel
    // closes.
    Handshake(10'000);
    clock_.Advance(12'499);
    Message(ChunkType::kFinal, 2, test::EncodeBytes(NodeId::Numeric(0, 631)));
    EXPECT_EQ(channel_.TakeRequests().size(), 1u);
    channel_.CheckTimers();
    EXPECT_EQ(channel_.state(), ServerSecureChannel::State::kOpen);
    clock_.Advance(1);
    channel_.CheckTimers();
    EXPECT_EQ(ErrorSent(), kBadSecureChannelClosed);
}

TEST_F(ChannelTest, ARenewedTokenReplacesTheOldOneOnceTheClientUsesIt) {
    Handshake(10'000);
    clock_.Advance(7'500);
    Open(10'000, kChannelId, SecurityTokenRequestType::kRenew);
    auto replies = Replies();
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(OpenResponse(replies[0]).securityToken.tokenId, 2u);

    // The old token still serves, and answers go out under it.
    Message(ChunkType::kFinal, 3, test::EncodeBytes(NodeId::Numeric(0, 631)), 1);
    ASSERT_EQ(channel_.SendResponse(3, Bytes{1}), kGood);
    replies = Replies();
    SecureChunk parsed;
    ASSERT_EQ(ParseSecureChunk(replies.at(0).bytes, parsed), kGood);
    EXPECT_EQ(parsed.tokenId, 1u);

    // The first message under the new token ends the old one.
    Message(ChunkType::kFinal, 4, test::EncodeBytes(NodeId::Numeric(0, 631)), 2);
    EXPECT_EQ(channel_.TakeRequests().size(), 2u);
    ASSERT_EQ(channel_.SendResponse(4, Bytes{1}), kGood);
    ASSERT_EQ(ParseSecureChunk(Replies().at(0).bytes, parsed), kGood);
    EXPECT_EQ(parsed.tokenId, 2u);
    // The renewal restarted the lifetime.
    clock_.Advance(9'000);
    channel_.CheckTimers();
    EXPECT_EQ(channel_.state(), ServerSecureChannel::State::kOpen);
    Message(ChunkType::kFinal, 5, {}, 1);
    EXPECT_EQ(ErrorSent(), kBadSecureChannelTokenUnknown);
}

TEST_F(ChannelTest, CloseSecureChannelClosesWithoutAnAnswer) {
    Handshake();
    Bytes chunk;
    AppendSecureChunk(chunk, MessageType::kCloseSecureChannel, ChunkType::kFinal, kChannelId, 1,
                      sequence_++, 8, EncodeServiceMessage(CloseSecureChannelRequest{}));
    Send(chunk);
    EXPECT_EQ(channel_.state(), ServerSecureChannel::State::kClosed);
    EXPECT_EQ(channel_.closeReason(), kGood);
    EXPECT_TRUE(Replies().empty());
}

}  // namespace
}  // namespace velk::ua
