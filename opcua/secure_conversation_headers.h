#pragma once
// The headers of a secure-conversation chunk (OPN, MSG, CLO) between the 8-byte message
// header and the body: the secure channel id, the security header (asymmetric for OPN, the
// token id for the others) and the sequence header.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "opcua/basic_types.h"
#include "opcua/status_codes.h"
#include "opcua/ua_tcp_messages.h"

namespace velk::ua {

struct AsymmetricSecurityHeader {
    std::string securityPolicyUri;
    ByteString senderCertificate;
    ByteString receiverCertificateThumbprint;
};

struct SecureChunk {
    MessageHeader header;
    std::uint32_t secureChannelId = 0;
    AsymmetricSecurityHeader asymmetric;  // OPN
    std::uint32_t tokenId = 0;            // MSG, CLO
    std::uint32_t sequenceNumber = 0;
    std::uint32_t requestId = 0;
    // The chunk's part of the message body (with SecurityPolicy None: the rest of the chunk).
    std::span<const std::uint8_t> body;
};

// Parses a whole OPN, MSG or CLO chunk (header included). body points into chunk. Headers
// that do not fit are BadDecodingError; a policy URI over 255 bytes or a certificate over
// the chunk is too.
StatusCode ParseSecureChunk(std::span<const std::uint8_t> chunk, SecureChunk& parsed);

// Bytes of the headers before the body: of a MSG or CLO chunk, and of an OPN chunk of
// SecurityPolicy None without certificates.
inline constexpr std::size_t kSymmetricChunkOverhead = 8 + 4 + 4 + 8;
std::size_t AsymmetricNoneChunkOverhead();

// Appends one chunk. For OPN the asymmetric header of SecurityPolicy None is written, for
// the others tokenId.
void AppendSecureChunk(std::vector<std::uint8_t>& out, MessageType type, ChunkType chunk,
                       std::uint32_t secureChannelId, std::uint32_t tokenId,
                       std::uint32_t sequenceNumber, std::uint32_t requestId,
                       std::span<const std::uint8_t> body);

}  // namespace velk::ua
