// The server channel's message security.
#include "opcua/security/server_channel_security.h"

#include <openssl/x509.h>

#include "opcua/basic_codec.h"
#include "opcua/secure_conversation_headers.h"
#include "opcua/security/chunk_protection.h"

namespace velk::ua::security {

namespace {

constexpr std::uint32_t kMaxPolicyUriLength = 255;
constexpr std::uint32_t kMaxCertificateFieldLength = 32 * 1024;
constexpr std::size_t kThumbprintLength = 20;
constexpr std::size_t kMaxChainLength = 8;
// Message header, channel id and token id of a MSG or CLO chunk.
constexpr std::size_t kSymmetricPrefixLength = 16;

ByteView ReadByteStringView(BinaryReader& r, std::uint32_t limit) {
    bool isNull = false;
    const std::uint32_t length = r.ReadByteLength(limit, isNull);
    if (!r.Ok() || isNull) return {};
    return r.ReadBytes(length);
}

std::uint32_t GetUInt32(ByteView at) {
    return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
           static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

}  // namespace

StatusCode ParseAsymmetricChunkHeader(ByteView chunk, AsymmetricChunkHeader& header) {
    if (chunk.size() < kMessageHeaderSize) return kBadDecodingError;
    DecodeLimits limits;
    limits.maxStringLength = kMaxPolicyUriLength;
    BinaryReader r(chunk.subspan(kMessageHeaderSize), limits);
    header.secureChannelId = r.ReadUInt32();
    Decode(r, header.securityPolicyUri);
    header.senderCertificate = ReadByteStringView(r, kMaxCertificateFieldLength);
    header.receiverThumbprint = ReadByteStringView(r, kThumbprintLength);
    if (!r.Ok()) return kBadDecodingError;
    if (!header.receiverThumbprint.empty() &&
        header.receiverThumbprint.size() != kThumbprintLength) {
        return kBadDecodingError;
    }
    header.prefixLength = kMessageHeaderSize + r.Position();
    return kGood;
}

bool SplitCertificateChain(ByteView field, std::vector<ByteView>& certificates) {
    certificates.clear();
    std::size_t at = 0;
    while (at < field.size()) {
        if (certificates.size() == kMaxChainLength) return false;
        const unsigned char* p = field.data() + at;
        X509* certificate = d2i_X509(nullptr, &p, static_cast<long>(field.size() - at));
        if (certificate == nullptr) return false;
        X509_free(certificate);
        const std::size_t length = static_cast<std::size_t>(p - (field.data() + at));
        certificates.push_back(field.subspan(at, length));
        at += length;
    }
    return !certificates.empty();
}

ServerChannelSecurity::ServerChannelSecurity(ServerSecurityOptions options)
    : options_(std::move(options)) {}

bool ServerChannelSecurity::Offered(const SecurityPolicy& policy) const {
    if (!policy.secured()) return options_.allowNone;
    if (!options_.certificate || !options_.certificate->privateKey) return false;
    for (const SecurityPolicy* offered : options_.policies) {
        if (offered == &policy) return true;
    }
    return false;
}

StatusCode ServerChannelSecurity::AcceptCertificate(const SecurityPolicy& policy, ByteView field) {
    std::vector<ByteView> chain;
    if (field.empty() || !SplitCertificateChain(field, chain)) return kBadCertificateInvalid;
    const ByteView leaf = chain.front();
    if (!clientCertificate_.empty()) {
        // A renewal comes from the client that opened the channel.
        return ConstantTimeEqual(leaf, clientCertificate_) ? kGood : kBadSecurityChecksFailed;
    }
    PKey key = PublicKeyOfCertificate(leaf);
    if (!key) return kBadCertificateInvalid;
    const std::size_t bits = KeyBits(key.get());
    if (bits < policy.minAsymmetricKeyBits || bits > policy.maxAsymmetricKeyBits) {
        return kBadSecurityChecksFailed;
    }
    if (!options_.checkCertificate) return kBadCertificateUntrusted;
    const StatusCode trusted = options_.checkCertificate(policy, field);
    if (trusted != kGood) return trusted;
    clientCertificate_.assign(leaf.begin(), leaf.end());
    clientThumbprint_ = Sha1(leaf);
    clientKey_ = std::move(key);
    return kGood;
}

StatusCode ServerChannelSecurity::OpenAsymmetricChunk(std::span<const std::uint8_t> chunk,
                                                      std::vector<std::uint8_t>& plain) {
    AsymmetricChunkHeader header;
    const StatusCode parsed = ParseAsymmetricChunkHeader(chunk, header);
    if (parsed != kGood) return parsed;
    const SecurityPolicy* policy = FindSecurityPolicy(header.securityPolicyUri);
    if (policy == nullptr || !Offered(*policy) || (policy_ != nullptr && policy != policy_)) {
        return kBadSecurityPolicyRejected;
    }
    if (!policy->secured()) {
        policy_ = policy;
        plain.assign(chunk.begin(), chunk.end());
        return kGood;
    }
    const OwnCertificate& own = *options_.certificate;
    if (!ConstantTimeEqual(header.receiverThumbprint, own.thumbprint)) {
        return kBadCertificateInvalid;
    }
    const StatusCode accepted = AcceptCertificate(*policy, header.senderCertificate);
    if (accepted != kGood) return accepted;
    policy_ = policy;
    const AsymmetricProtection protection(*policy, clientKey_.get(), own.privateKey.get());
    return OpenChunk(protection, chunk, header.prefixLength, plain);
}

StatusCode ServerChannelSecurity::OpenSymmetricChunk(std::span<const std::uint8_t> chunk,
                                                     std::vector<std::uint8_t>& plain) {
    if (policy_ == nullptr || !policy_->secured() || keys_.empty()) {
        plain.assign(chunk.begin(), chunk.end());
        return kGood;
    }
    if (chunk.size() < kSymmetricPrefixLength) return kBadDecodingError;
    const auto keys = keys_.find(GetUInt32(chunk.subspan(12, 4)));
    if (keys == keys_.end()) return kBadSecureChannelTokenUnknown;
    const SymmetricProtection protection(keys->second.client,
                                         mode_ == MessageSecurityMode::kSignAndEncrypt);
    return OpenChunk(protection, chunk, kSymmetricPrefixLength, plain);
}

StatusCode ServerChannelSecurity::AcceptToken(MessageSecurityMode mode,
                                              const ByteString& clientNonce, std::uint32_t tokenId,
                                              ByteString& serverNonce) {
    if (policy_ == nullptr) return kBadSecurityPolicyRejected;
    if (!policy_->secured()) {
        if (mode != MessageSecurityMode::kNone) return kBadSecurityModeRejected;
        mode_ = mode;
        return kGood;
    }
    const bool signs =
        mode == MessageSecurityMode::kSign || mode == MessageSecurityMode::kSignAndEncrypt;
    if (!signs || (!keys_.empty() && mode != mode_)) return kBadSecurityModeRejected;
    if (clientNonce.bytes.size() != policy_->nonceLength) return kBadNonceInvalid;
    serverNonce.bytes.resize(policy_->nonceLength);
    if (!RandomBytes(serverNonce.bytes)) return kBadInternalError;
    mode_ = mode;
    keys_[tokenId] = DeriveChannelKeys(*policy_, clientNonce.bytes, serverNonce.bytes);
    while (keys_.size() > 2) keys_.erase(keys_.begin());
    return kGood;
}

std::size_t ServerChannelSecurity::AsymmetricPrefixLength() const {
    return kMessageHeaderSize + 4 + 4 + policy_->uri.size() + 4 + options_.certificate->der.size() +
           4 + clientThumbprint_.size();
}

std::size_t ServerChannelSecurity::MaxChunkBody(MessageType type, std::size_t bufferSize) const {
    if (policy_ == nullptr || !policy_->secured()) {
        const std::size_t overhead = type == MessageType::kOpenSecureChannel
                                         ? AsymmetricNoneChunkOverhead()
                                         : kSymmetricChunkOverhead;
        return bufferSize > overhead ? bufferSize - overhead : 0;
    }
    if (type == MessageType::kOpenSecureChannel) {
        const AsymmetricProtection protection(*policy_, options_.certificate->privateKey.get(),
                                              clientKey_.get());
        return security::MaxChunkBody(protection, bufferSize, AsymmetricPrefixLength());
    }
    const SymmetricKeys none;
    const SymmetricProtection protection(none, mode_ == MessageSecurityMode::kSignAndEncrypt);
    return security::MaxChunkBody(protection, bufferSize, kSymmetricPrefixLength);
}

StatusCode ServerChannelSecurity::AppendChunk(std::vector<std::uint8_t>& out, MessageType type,
                                              ChunkType chunk, std::uint32_t secureChannelId,
                                              std::uint32_t tokenId, std::uint32_t sequenceNumber,
                                              std::uint32_t requestId,
                                              std::span<const std::uint8_t> body) {
    const std::size_t start = out.size();
    if (policy_ == nullptr || !policy_->secured()) {
        AppendSecureChunk(out, type, chunk, secureChannelId, tokenId, sequenceNumber, requestId,
                          body);
        return kGood;
    }
    bool sealed = false;
    if (type == MessageType::kOpenSecureChannel) {
        const OwnCertificate& own = *options_.certificate;
        AppendMessageHeader(out, type, chunk);
        BinaryWriter w;
        w.WriteUInt32(secureChannelId);
        Encode(w, std::string(policy_->uri));
        Encode(w, ByteString{own.der});
        Encode(w, ByteString{clientThumbprint_});
        const std::size_t prefixLength = kMessageHeaderSize + w.Size();
        w.WriteUInt32(sequenceNumber);
        w.WriteUInt32(requestId);
        w.WriteBytes(body);
        out.insert(out.end(), w.Bytes().begin(), w.Bytes().end());
        const AsymmetricProtection protection(*policy_, own.privateKey.get(), clientKey_.get());
        sealed = SealChunk(protection, out, start, prefixLength);
    } else {
        const auto keys = keys_.find(tokenId);
        if (keys == keys_.end()) return kBadSecureChannelTokenUnknown;
        AppendSecureChunk(out, type, chunk, secureChannelId, tokenId, sequenceNumber, requestId,
                          body);
        const SymmetricProtection protection(keys->second.server,
                                             mode_ == MessageSecurityMode::kSignAndEncrypt);
        sealed = SealChunk(protection, out, start, kSymmetricPrefixLength);
    }
    if (sealed) return kGood;
    out.resize(start);
    return kBadInternalError;
}

}  // namespace velk::ua::security
