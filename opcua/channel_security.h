#pragma once
// What the secure channel asks of the message security of its policy: the chunks it
// receives are opened (checked, decrypted) before it reads them, the chunks it sends are
// protected, and each new token gets its keys. The channel knows no algorithm; without an
// IChannelSecurity it speaks SecurityPolicy None only.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "opcua/basic_types.h"
#include "opcua/secure_channel_messages.h"
#include "opcua/status_codes.h"
#include "opcua/ua_tcp_messages.h"

namespace velk::ua {

class IChannelSecurity {
  public:
    virtual ~IChannelSecurity() = default;
    // A whole OPN chunk as received: its policy and certificates accepted, decrypted and
    // verified. plain gets it as SecurityPolicy None would carry it (asymmetric header kept).
    virtual StatusCode OpenAsymmetricChunk(std::span<const std::uint8_t> chunk,
                                           std::vector<std::uint8_t>& plain) = 0;
    // A whole MSG or CLO chunk, likewise; before a token exists it passes unchanged.
    virtual StatusCode OpenSymmetricChunk(std::span<const std::uint8_t> chunk,
                                          std::vector<std::uint8_t>& plain) = 0;
    // An OpenSecureChannel request: its mode and nonce checked, serverNonce made, the keys of
    // tokenId derived. Codes: BadSecurityModeRejected, BadNonceInvalid.
    virtual StatusCode AcceptToken(MessageSecurityMode mode, const ByteString& clientNonce,
                                   std::uint32_t tokenId, ByteString& serverNonce) = 0;
    // Body bytes one chunk of bufferSize bytes carries.
    virtual std::size_t MaxChunkBody(MessageType type, std::size_t bufferSize) const = 0;
    // Appends one protected chunk (OPN with the asymmetric header of the channel's policy).
    virtual StatusCode AppendChunk(std::vector<std::uint8_t>& out, MessageType type,
                                   ChunkType chunk, std::uint32_t secureChannelId,
                                   std::uint32_t tokenId, std::uint32_t sequenceNumber,
                                   std::uint32_t requestId, std::span<const std::uint8_t> body) = 0;
};

}  // namespace velk::ua
