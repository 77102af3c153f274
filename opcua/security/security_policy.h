#pragma once
// The security policies the server offers, as one table of algorithms and lengths: the
// channel code looks a policy up by its URI and never branches on which one it holds.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace velk::ua::security {

enum class AsymmetricSignature { kNone, kRsaPkcs1Sha256, kRsaPssSha256 };
enum class AsymmetricEncryption { kNone, kRsaOaepSha1, kRsaOaepSha256 };

struct SecurityPolicy {
    std::string_view name;
    std::string_view uri;
    AsymmetricSignature asymmetricSignature;
    AsymmetricEncryption asymmetricEncryption;
    // AES-CBC key bytes (16 or 32); 0 when messages are not encrypted.
    std::size_t encryptionKeyLength;
    // Bytes of the derived HMAC-SHA256 key and of its signature.
    std::size_t signingKeyLength;
    std::size_t symmetricSignatureLength;
    std::size_t symmetricBlockSize;
    // Bytes of the nonces of OpenSecureChannel.
    std::size_t nonceLength;
    // Bounds of every certificate's RSA key, in bits.
    std::uint32_t minAsymmetricKeyBits;
    std::uint32_t maxAsymmetricKeyBits;
    // The URI that names the asymmetric encryption in an encrypted user token.
    std::string_view asymmetricEncryptionUri;

    bool secured() const { return asymmetricSignature != AsymmetricSignature::kNone; }
};

std::span<const SecurityPolicy> SecurityPolicies();
// The policy of a URI; null when this server does not know it.
const SecurityPolicy* FindSecurityPolicy(std::string_view uri);
const SecurityPolicy& NonePolicy();

}  // namespace velk::ua::security
