// The secure-conversation chunk headers, read and written.
#include "opcua/secure_conversation_headers.h"

#include "opcua/basic_codec.h"
#include "opcua/secure_channel_messages.h"

namespace velk::ua {

namespace {

constexpr std::uint32_t kMaxPolicyUriLength = 255;

}  // namespace

StatusCode ParseSecureChunk(std::span<const std::uint8_t> chunk, SecureChunk& parsed) {
    const StatusCode header = ParseMessageHeader(chunk, parsed.header);
    if (header != kGood) return header;
    if (parsed.header.size != chunk.size()) return kBadDecodingError;
    DecodeLimits limits;
    limits.maxStringLength = kMaxPolicyUriLength;
    BinaryReader r(chunk.subspan(kMessageHeaderSize), limits);
    parsed.secureChannelId = r.ReadUInt32();
    if (parsed.header.type == MessageType::kOpenSecureChannel) {
        Decode(r, parsed.asymmetric.securityPolicyUri);
        Decode(r, parsed.asymmetric.senderCertificate);
        Decode(r, parsed.asymmetric.receiverCertificateThumbprint);
    } else if (parsed.header.type == MessageType::kMessage ||
               parsed.header.type == MessageType::kCloseSecureChannel) {
        parsed.tokenId = r.ReadUInt32();
    } else {
        return kBadTcpMessageTypeInvalid;
    }
    parsed.sequenceNumber = r.ReadUInt32();
    parsed.requestId = r.ReadUInt32();
    if (!r.Ok()) return kBadDecodingError;
    parsed.body = chunk.subspan(kMessageHeaderSize + r.Position());
    return kGood;
}

std::size_t AsymmetricNoneChunkOverhead() {
    // Header, channel id, the URI, two null byte strings, the sequence header.
    return 8 + 4 + 4 + kSecurityPolicyNoneUri.size() + 4 + 4 + 8;
}

void AppendSecureChunk(std::vector<std::uint8_t>& out, MessageType type, ChunkType chunk,
                       std::uint32_t secureChannelId, std::uint32_t tokenId,
                       std::uint32_t sequenceNumber, std::uint32_t requestId,
                       std::span<const std::uint8_t> body) {
    const std::size_t start = out.size();
    AppendMessageHeader(out, type, chunk);
    BinaryWriter w;
    w.WriteUInt32(secureChannelId);
    if (type == MessageType::kOpenSecureChannel) {
        Encode(w, std::string(kSecurityPolicyNoneUri));
        // Null certificate and thumbprint.
        w.WriteUInt32(0xFFFFFFFFu);
        w.WriteUInt32(0xFFFFFFFFu);
    } else {
        w.WriteUInt32(tokenId);
    }
    w.WriteUInt32(sequenceNumber);
    w.WriteUInt32(requestId);
    w.WriteBytes(body);
    const auto& bytes = w.Bytes();
    out.insert(out.end(), bytes.begin(), bytes.end());
    FinishMessage(out, start);
}

}  // namespace velk::ua
