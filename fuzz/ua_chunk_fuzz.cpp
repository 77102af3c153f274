// Fuzz target of the UA TCP stream: the input is taken as bytes received on a connection,
// in pieces whose size the first byte picks. Hello messages are decoded and negotiated, MSG
// chunks (request id in the first four body bytes) joined into messages. Any input must end
// in whole messages or an error, never in a message or a buffer beyond the limits.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "opcua/chunk_assembler.h"
#include "opcua/chunk_reader.h"
#include "opcua/connection_limits.h"
#include "opcua/ua_tcp_messages.h"

namespace {

using namespace velk::ua;

constexpr std::uint32_t kMaxChunk = 8192;
constexpr std::uint32_t kMaxMessage = 20000;
constexpr std::uint32_t kMaxChunks = 4;

void CheckHello(std::span<const std::uint8_t> body) {
    HelloMessage hello;
    if (DecodeMessageBody(body, hello) != kGood) return;
    if (hello.endpointUrl.size() > kMaxUrlLength) std::abort();
    AcknowledgeMessage ack;
    ConnectionLimits limits;
    if (NegotiateHello(hello, ServerConnectionLimits{}, ack, limits) != kGood) return;
    if (ack.receiveBufferSize > hello.sendBufferSize ||
        ack.sendBufferSize > hello.receiveBufferSize)
        std::abort();
    if (ack.receiveBufferSize < kMinSmallBufferSize || ack.sendBufferSize < kMinSmallBufferSize)
        std::abort();
    if (hello.sendBufferSize >= kMinBufferSize && ack.receiveBufferSize < kMinBufferSize)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t piece = 1 + data[0] % 64;
    const std::span<const std::uint8_t> stream(data + 1, size - 1);
    ChunkReader reader(kMaxChunk);
    ChunkAssembler assembler(kMaxMessage, kMaxChunks);
    for (std::size_t at = 0; at < stream.size(); at += piece) {
        reader.Append(stream.subspan(at, std::min(piece, stream.size() - at)));
        if (reader.Buffered() > kMaxChunk + piece) std::abort();
        Chunk chunk;
        StatusCode status;
        while (reader.Next(chunk, status)) {
            if (chunk.bytes.size() != chunk.header.size || chunk.bytes.size() > kMaxChunk)
                std::abort();
            const auto body =
                std::span<const std::uint8_t>(chunk.bytes).subspan(kMessageHeaderSize);
            if (chunk.header.type == MessageType::kHello) {
                CheckHello(body);
                continue;
            }
            if (chunk.header.type != MessageType::kMessage || body.size() < 4) continue;
            const std::uint32_t requestId = body[0] | (body[1] << 8) | (body[2] << 16) |
                                            (static_cast<std::uint32_t>(body[3]) << 24);
            const auto outcome = assembler.Add(chunk.header.chunk, requestId, body.subspan(4));
            if (outcome == ChunkAssembler::Outcome::kComplete &&
                assembler.message().body.size() > kMaxMessage)
                std::abort();
            if (outcome == ChunkAssembler::Outcome::kFailed) return 0;
        }
        if (status != kGood) return 0;
    }
    return 0;
}
