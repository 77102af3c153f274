// The UA TCP connection protocol: the Hello/Acknowledge/Error layouts, the header checks,
// the negotiation of a connection's limits, and the chunks both ways (the stream cut into
// chunks, chunk bodies joined into messages, a body split into chunks).
#include <gtest/gtest.h>

#include <string>

#include "opcua/basic_codec.h"
#include "opcua/chunk_assembler.h"
#include "opcua/chunk_reader.h"
#include "opcua/chunk_splitter.h"
#include "opcua/connection_limits.h"
#include "opcua/ua_tcp_messages.h"
#include "tests/opcua/ua_test_support.h"

namespace velk::ua {
namespace {

using test::B;
using test::Bytes;

Bytes Body(const Bytes& message) {
    return Bytes(message.begin() + kMessageHeaderSize, message.end());
}

TEST(UaTcpMessagesTest, HelloHasTheHeaderFiveLimitsAndTheUrl) {
    const HelloMessage hello{0, 65536, 8192, 0, 4, "opc.tcp://h"};
    const Bytes expected =
        B({'H',  'E',  'L',  'F',  43,   0,   0,   0,   0,   0,   0,   0,   0x00, 0x00, 0x01,
           0x00, 0x00, 0x20, 0x00, 0x00, 0,   0,   0,   0,   4,   0,   0,   0,    11,   0,
           0,    0,    'o',  'p',  'c',  '.', 't', 'c', 'p', ':', '/', '/', 'h'});
    const Bytes wire = EncodeMessage(hello);
    EXPECT_EQ(wire, expected);
    MessageHeader header;
    ASSERT_EQ(ParseMessageHeader(wire, header), kGood);
    EXPECT_EQ(header.type, MessageType::kHello);
    EXPECT_EQ(header.size, wire.size());
    HelloMessage back;
    EXPECT_EQ(DecodeMessageBody(Body(wire), back), kGood);
    EXPECT_EQ(back, hello);

    Bytes longer = Body(wire);
    longer.push_back(0);
    EXPECT_EQ(DecodeMessageBody(longer, back), kBadDecodingError);
    const Bytes body = Body(wire);
    EXPECT_EQ(DecodeMessageBody(Bytes(body.begin(), body.end() - 1), back), kBadDecodingError);

    EXPECT_EQ(
        DecodeMessageBody(
            Body(EncodeMessage(HelloMessage{0, 8192, 8192, 0, 0, std::string(4096, 'u')})), back),
        kGood);
    EXPECT_EQ(
        DecodeMessageBody(
            Body(EncodeMessage(HelloMessage{0, 8192, 8192, 0, 0, std::string(4097, 'u')})), back),
        kBadTcpEndpointUrlInvalid);
}

TEST(UaTcpMessagesTest, AcknowledgeAndErrorLayouts) {
    EXPECT_EQ(EncodeMessage(AcknowledgeMessage{0, 8192, 8192, 0, 0}),
              B({'A', 'C', 'K', 'F',  28, 0, 0, 0, 0, 0, 0, 0, 0, 0x20,
                 0,   0,   0,   0x20, 0,  0, 0, 0, 0, 0, 0, 0, 0, 0}));
    const Bytes error = EncodeMessage(ErrorMessage{kBadTcpMessageTooLarge, "big"});
    EXPECT_EQ(error, B({'E', 'R', 'R', 'F', 19, 0, 0, 0, 0x00, 0x00, 0x80, 0x80, 3, 0, 0, 0, 'b',
                        'i', 'g'}));

    // A reason is cut to 4096 bytes, never inside a character.
    std::string reason(4095, 'r');
    reason += "\xC3\xA9";
    ErrorMessage back;
    ASSERT_EQ(DecodeMessageBody(Body(EncodeMessage(ErrorMessage{kBadTimeout, reason})), back),
              kGood);
    EXPECT_EQ(back.reason, std::string(4095, 'r'));
    // A longer reason received is ignored, its code is not.
    BinaryWriter w;
    Encode(w, kBadTimeout);
    Encode(w, std::string(5000, 'x'));
    ASSERT_EQ(DecodeMessageBody(w.Bytes(), back), kGood);
    EXPECT_EQ(back.error, kBadTimeout);
    EXPECT_EQ(back.reason, "");

    const ReverseHelloMessage rhe{"urn:s", "opc.tcp://s"};
    ReverseHelloMessage rheBack;
    EXPECT_EQ(DecodeMessageBody(Body(EncodeMessage(rhe)), rheBack), kGood);
    EXPECT_EQ(rheBack, rhe);
}

TEST(UaTcpMessagesTest, HeaderTypesAndChunkKinds) {
    struct Case {
        const char* bytes;
        StatusCode status;
    };
    const Case cases[] = {
        {"HELF", kGood},
        {"MSGC", kGood},
        {"OPNA", kGood},
        {"CLOF", kGood},
        {"HELC", kBadTcpMessageTypeInvalid},
        {"ACKA", kBadTcpMessageTypeInvalid},
        {"MSGX", kBadTcpMessageTypeInvalid},
        {"XYZF", kBadTcpMessageTypeInvalid},
        {"msgF", kBadTcpMessageTypeInvalid},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes);
        Bytes wire(c.bytes, c.bytes + 4);
        wire.insert(wire.end(), {8, 0, 0, 0});
        MessageHeader header;
        EXPECT_EQ(ParseMessageHeader(wire, header), c.status);
    }
    MessageHeader header;
    EXPECT_EQ(ParseMessageHeader(B({'M', 'S', 'G', 'F', 7, 0, 0, 0}), header), kBadDecodingError);
}

TEST(UaConnectionLimitsTest, BufferSizesAreTheSmallerSideNeverBelowTheFloor) {
    struct Case {
        const char* name;
        std::uint32_t clientReceive, clientSend, serverReceive, serverSend;
        StatusCode status;
        std::uint32_t receive, send;
    };
    const Case cases[] = {
        {"client smaller", 8192, 16384, 65535, 65535, kGood, 16384, 8192},
        {"server smaller", 1u << 20, 1u << 20, 65535, 32768, kGood, 65535, 32768},
        {"small client", 1024, 1024, 65535, 65535, kGood, 1024, 1024},
        {"client below 1024", 1023, 8192, 65535, 65535, kBadTcpNotEnoughResources, 0, 0},
        {"server set below 8192", 65535, 65535, 4096, 4096, kGood, 8192, 8192},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const HelloMessage hello{0, c.clientReceive, c.clientSend, 1000, 7, "opc.tcp://h"};
        ServerConnectionLimits server;
        server.receiveBufferSize = c.serverReceive;
        server.sendBufferSize = c.serverSend;
        AcknowledgeMessage ack;
        ConnectionLimits limits;
        ASSERT_EQ(NegotiateHello(hello, server, ack, limits), c.status);
        if (c.status != kGood) continue;
        EXPECT_EQ(ack.receiveBufferSize, c.receive);
        EXPECT_EQ(ack.sendBufferSize, c.send);
        EXPECT_EQ(limits.receiveBufferSize, c.receive);
        EXPECT_EQ(limits.sendBufferSize, c.send);
        EXPECT_EQ(ack.maxMessageSize, server.maxRequestMessageSize);
        EXPECT_EQ(ack.maxChunkCount, server.maxRequestChunkCount);
        EXPECT_EQ(limits.maxResponseMessageSize, 1000u);
        EXPECT_EQ(limits.maxResponseChunkCount, 7u);
    }
}

Bytes MsgChunk(char kind, const Bytes& payload) {
    Bytes out;
    AppendMessageHeader(out, MessageType::kMessage, static_cast<ChunkType>(kind));
    out.insert(out.end(), payload.begin(), payload.end());
    FinishMessage(out);
    return out;
}

TEST(UaChunkReaderTest, CutsTheStreamAtChunkBoundariesHoweverItArrives) {
    Bytes stream = MsgChunk('C', B({1, 2, 3}));
    const Bytes second = MsgChunk('F', B({4}));
    stream.insert(stream.end(), second.begin(), second.end());
    for (const std::size_t piece : {std::size_t{1}, std::size_t{5}, stream.size()}) {
        SCOPED_TRACE(piece);
        ChunkReader reader(64);
        std::vector<Chunk> chunks;
        for (std::size_t at = 0; at < stream.size(); at += piece) {
            reader.Append({stream.data() + at, std::min(piece, stream.size() - at)});
            Chunk chunk;
            StatusCode status;
            while (reader.Next(chunk, status)) chunks.push_back(chunk);
            ASSERT_EQ(status, kGood);
        }
        ASSERT_EQ(chunks.size(), 2u);
        EXPECT_EQ(chunks[0].header.chunk, ChunkType::kIntermediate);
        EXPECT_EQ(chunks[0].bytes, MsgChunk('C', B({1, 2, 3})));
        EXPECT_EQ(chunks[1].bytes, second);
        EXPECT_EQ(reader.Buffered(), 0u);
    }
}

TEST(UaChunkReaderTest, RefusesAnOversizedChunkFromItsHeaderAlone) {
    ChunkReader reader(64);
    reader.Append(B({'M', 'S', 'G', 'F', 64, 0, 0, 0}));
    Chunk chunk;
    StatusCode status;
    EXPECT_FALSE(reader.Next(chunk, status));
    EXPECT_EQ(status, kGood);

    ChunkReader small(64);
    small.Append(B({'M', 'S', 'G', 'F', 65, 0, 0, 0}));
    EXPECT_FALSE(small.Next(chunk, status));
    EXPECT_EQ(status, kBadTcpMessageTooLarge);
    EXPECT_EQ(small.Buffered(), 0u);
    // Nothing after the error is taken.
    small.Append(MsgChunk('F', {}));
    EXPECT_FALSE(small.Next(chunk, status));
    EXPECT_EQ(status, kBadTcpMessageTooLarge);

    ChunkReader typo(64);
    typo.Append(B({'M', 'S', 'G', 'Q', 8, 0, 0, 0}));
    EXPECT_FALSE(typo.Next(chunk, status));
    EXPECT_EQ(status, kBadTcpMessageTypeInvalid);
}

TEST(UaChunkAssemblerTest, JoinsAbortsAndBoundsMessages) {
    ChunkAssembler assembler(10, 3);
    EXPECT_EQ(assembler.Add(ChunkType::kIntermediate, 7, B({1, 2})),
              ChunkAssembler::Outcome::kIncomplete);
    EXPECT_EQ(assembler.Add(ChunkType::kIntermediate, 7, B({3})),
              ChunkAssembler::Outcome::kIncomplete);
    ASSERT_EQ(assembler.Add(ChunkType::kFinal, 7, B({4})), ChunkAssembler::Outcome::kComplete);
    EXPECT_EQ(assembler.message().requestId, 7u);
    EXPECT_EQ(assembler.message().body, B({1, 2, 3, 4}));

    // An abort drops what was kept, and the next message starts clean.
    EXPECT_EQ(assembler.Add(ChunkType::kIntermediate, 8, B({9, 9})),
              ChunkAssembler::Outcome::kIncomplete);
    Bytes abort;
    EncodeErrorBody(abort, kBadRequestTooLarge, "too big");
    ASSERT_EQ(assembler.Add(ChunkType::kAbort, 8, abort), ChunkAssembler::Outcome::kAborted);
    EXPECT_EQ(assembler.abortError(), kBadRequestTooLarge);
    EXPECT_EQ(assembler.abortReason(), "too big");
    EXPECT_FALSE(assembler.InProgress());
    ASSERT_EQ(assembler.Add(ChunkType::kFinal, 9, B({5})), ChunkAssembler::Outcome::kComplete);
    EXPECT_EQ(assembler.message().body, B({5}));

    // The size bound: 10 bytes fit, 11 do not.
    EXPECT_EQ(assembler.Add(ChunkType::kIntermediate, 10, Bytes(5, 0)),
              ChunkAssembler::Outcome::kIncomplete);
    EXPECT_EQ(assembler.Add(ChunkType::kFinal, 10, Bytes(5, 0)),
              ChunkAssembler::Outcome::kComplete);
    ChunkAssembler sized(10, 0);
    sized.Add(ChunkType::kIntermediate, 1, Bytes(5, 0));
    EXPECT_EQ(sized.Add(ChunkType::kFinal, 1, Bytes(6, 0)), ChunkAssembler::Outcome::kFailed);
    EXPECT_EQ(sized.error(), kBadRequestTooLarge);
    // A failed assembler stays failed.
    EXPECT_EQ(sized.Add(ChunkType::kFinal, 2, {}), ChunkAssembler::Outcome::kFailed);
}

TEST(UaChunkAssemblerTest, RefusesTooManyChunksInterleavedRequestsAndBadAborts) {
    ChunkAssembler counted(0, 2);
    counted.Add(ChunkType::kIntermediate, 1, B({1}));
    EXPECT_EQ(counted.Add(ChunkType::kFinal, 1, B({2})), ChunkAssembler::Outcome::kComplete);
    counted.Add(ChunkType::kIntermediate, 2, B({1}));
    EXPECT_EQ(counted.Add(ChunkType::kIntermediate, 2, B({2})),
              ChunkAssembler::Outcome::kIncomplete);
    EXPECT_EQ(counted.Add(ChunkType::kFinal, 2, B({3})), ChunkAssembler::Outcome::kFailed);
    EXPECT_EQ(counted.error(), kBadRequestTooLarge);

    ChunkAssembler interleaved(0, 0);
    interleaved.Add(ChunkType::kIntermediate, 1, B({1}));
    EXPECT_EQ(interleaved.Add(ChunkType::kFinal, 2, B({2})), ChunkAssembler::Outcome::kFailed);
    EXPECT_EQ(interleaved.error(), kBadDecodingError);

    ChunkAssembler badAbort(0, 0);
    EXPECT_EQ(badAbort.Add(ChunkType::kAbort, 1, B({1, 2})), ChunkAssembler::Outcome::kFailed);
    EXPECT_EQ(badAbort.error(), kBadDecodingError);
}

TEST(UaChunkSplitterTest, PiecesStayWithinThePeersLimits) {
    std::vector<ChunkPiece> pieces;
    ASSERT_EQ(SplitBody(0, 100, 0, 0, pieces), kGood);
    EXPECT_EQ(pieces, (std::vector<ChunkPiece>{{0, 0}}));
    ASSERT_EQ(SplitBody(100, 100, 0, 0, pieces), kGood);
    EXPECT_EQ(pieces, (std::vector<ChunkPiece>{{0, 100}}));
    ASSERT_EQ(SplitBody(101, 100, 0, 0, pieces), kGood);
    EXPECT_EQ(pieces, (std::vector<ChunkPiece>{{0, 100}, {100, 1}}));
    EXPECT_EQ(SplitBody(200, 100, 0, 2, pieces), kGood);
    EXPECT_EQ(SplitBody(201, 100, 0, 2, pieces), kBadResponseTooLarge);
    EXPECT_TRUE(pieces.empty());
    EXPECT_EQ(SplitBody(150, 100, 150, 0, pieces), kGood);
    EXPECT_EQ(SplitBody(151, 100, 150, 0, pieces), kBadResponseTooLarge);
    EXPECT_EQ(SplitBody(1, 0, 0, 0, pieces), kBadInternalError);
}

}  // namespace
}  // namespace velk::ua
