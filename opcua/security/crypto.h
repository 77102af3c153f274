#pragma once
// The cryptographic primitives of the security policies, over OpenSSL 3's EVP interfaces.
// Every function reports failure by its result; none throws or aborts on bad input.
#include <openssl/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "opcua/security/security_policy.h"

namespace velk::ua::security {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

struct PKeyFree {
    void operator()(EVP_PKEY* key) const;
};
using PKey = std::unique_ptr<EVP_PKEY, PKeyFree>;

inline constexpr std::size_t kHmacSha256Length = 32;

// Fills out from the system's random source; false when it has no entropy to give.
bool RandomBytes(std::span<std::uint8_t> out);
// P_SHA256 (the TLS 1.2 expansion): length bytes from an HMAC-SHA256 chain over seed.
Bytes PSha256(ByteView secret, ByteView seed, std::size_t length);
// HMAC-SHA256 of data into out (kHmacSha256Length bytes).
bool HmacSha256(ByteView key, ByteView data, std::span<std::uint8_t> out);
Bytes Sha1(ByteView data);
// Compares without a timing that depends on where the bytes differ.
bool ConstantTimeEqual(ByteView a, ByteView b);

// AES-CBC without padding, in place; data a multiple of 16 bytes, key of 16 or 32 bytes.
bool AesCbc(bool encrypt, ByteView key, ByteView iv, std::span<std::uint8_t> data);

// Size of an RSA key in bits and in bytes (the size of its signatures and cipher blocks).
std::size_t KeyBits(EVP_PKEY* key);
std::size_t KeyBytes(EVP_PKEY* key);
// Plaintext bytes per cipher block of the encryption with key.
std::size_t PlainBlockSize(AsymmetricEncryption encryption, EVP_PKEY* key);

bool RsaSign(AsymmetricSignature algorithm, EVP_PKEY* key, ByteView data, Bytes& signature);
bool RsaVerify(AsymmetricSignature algorithm, EVP_PKEY* key, ByteView data, ByteView signature);
// Encrypts plain (a multiple of PlainBlockSize) block by block; appends to out.
bool RsaEncrypt(AsymmetricEncryption encryption, EVP_PKEY* key, ByteView plain, Bytes& out);
// Decrypts cipher (a multiple of KeyBytes) block by block; appends to out.
bool RsaDecrypt(AsymmetricEncryption encryption, EVP_PKEY* key, ByteView cipher, Bytes& out);

// An RSA key made here (tests, the server's own certificate).
PKey GenerateRsaKey(unsigned bits);
// The public key of a DER certificate; null when it is none or not RSA.
PKey PublicKeyOfCertificate(ByteView der);

// The symmetric keys of one direction of a channel.
struct SymmetricKeys {
    Bytes signingKey;
    Bytes encryptingKey;
    Bytes initializationVector;
};
struct ChannelKeys {
    SymmetricKeys client;  // what the client signs and encrypts with
    SymmetricKeys server;
};
// The keys of a token from both nonces: the client's from P_SHA256(serverNonce,
// clientNonce), the server's from P_SHA256(clientNonce, serverNonce).
ChannelKeys DeriveChannelKeys(const SecurityPolicy& policy, ByteView clientNonce,
                              ByteView serverNonce);

}  // namespace velk::ua::security
