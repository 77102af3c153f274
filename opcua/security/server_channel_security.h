#pragma once
// The message security of one server channel: the policy is chosen by the client's first
// OpenSecureChannel among those offered and kept for the channel's life; the client's
// certificate is checked by the trust decision given, and must stay the same on renewals.
// Each token has its own keys; the channel's current and previous tokens are kept.
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "opcua/channel_security.h"
#include "opcua/security/crypto.h"

namespace velk::ua::security {

// The server's application instance certificate (DER) and its private key.
struct OwnCertificate {
    Bytes der;
    PKey privateKey;
    Bytes thumbprint;  // SHA-1 of der
};

// The trust decision on a client's certificate chain (the sender certificate field: the
// client's certificate, then optionally its issuers) for a policy; Good to accept.
using CertificateCheck = std::function<StatusCode(const SecurityPolicy&, ByteView chain)>;

struct ServerSecurityOptions {
    // The secured policies offered; None is offered only while allowNone is set.
    std::vector<const SecurityPolicy*> policies;
    bool allowNone = false;
    std::shared_ptr<const OwnCertificate> certificate;
    CertificateCheck checkCertificate;
};

// The parts of an OPN chunk in front of its protected part, read with bounded lengths.
struct AsymmetricChunkHeader {
    std::uint32_t secureChannelId = 0;
    std::string securityPolicyUri;
    ByteView senderCertificate;
    ByteView receiverThumbprint;
    // Bytes from the chunk's start to the end of the security header.
    std::size_t prefixLength = 0;
};
// BadDecodingError when the header does not fit the chunk; a policy URI over 255 bytes, a
// certificate over 32 KiB or a thumbprint other than absent or 20 bytes are too.
StatusCode ParseAsymmetricChunkHeader(ByteView chunk, AsymmetricChunkHeader& header);

// The leaf certificate of a sender certificate field and the chain after it, each a DER
// certificate; false when the field is not a sequence of whole certificates (at most 8).
bool SplitCertificateChain(ByteView field, std::vector<ByteView>& certificates);

class ServerChannelSecurity final : public IChannelSecurity {
  public:
    explicit ServerChannelSecurity(ServerSecurityOptions options);

    StatusCode OpenAsymmetricChunk(std::span<const std::uint8_t> chunk,
                                   std::vector<std::uint8_t>& plain) override;
    StatusCode OpenSymmetricChunk(std::span<const std::uint8_t> chunk,
                                  std::vector<std::uint8_t>& plain) override;
    StatusCode AcceptToken(MessageSecurityMode mode, const ByteString& clientNonce,
                           std::uint32_t tokenId, ByteString& serverNonce) override;
    std::size_t MaxChunkBody(MessageType type, std::size_t bufferSize) const override;
    StatusCode AppendChunk(std::vector<std::uint8_t>& out, MessageType type, ChunkType chunk,
                           std::uint32_t secureChannelId, std::uint32_t tokenId,
                           std::uint32_t sequenceNumber, std::uint32_t requestId,
                           std::span<const std::uint8_t> body) override;

    // The channel's policy and mode once chosen; the client's certificate (DER, the leaf).
    const SecurityPolicy* policy() const { return policy_; }
    MessageSecurityMode mode() const { return mode_; }
    const Bytes& clientCertificate() const { return clientCertificate_; }

  private:
    bool Offered(const SecurityPolicy& policy) const;
    StatusCode AcceptCertificate(const SecurityPolicy& policy, ByteView field);
    std::size_t AsymmetricPrefixLength() const;

    const ServerSecurityOptions options_;
    const SecurityPolicy* policy_ = nullptr;
    MessageSecurityMode mode_ = MessageSecurityMode::kInvalid;
    Bytes clientCertificate_;
    Bytes clientThumbprint_;
    PKey clientKey_;
    // Keys by token id: the current token and the one before it.
    std::map<std::uint32_t, ChannelKeys> keys_;
};

}  // namespace velk::ua::security
