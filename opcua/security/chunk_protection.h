#pragma once
// Signing and encryption of one secure-conversation chunk, the same for the asymmetric
// (OpenSecureChannel) and the symmetric (MSG, CLO) kind: a chunk is its prefix (the message
// header, the channel id and the security header, sent in clear) and its protected part (the
// sequence header and the body, then padding and the signature when encrypted).
//
//   prefix | sequence header | body | padding | padding size [| extra size] | signature
//                             '------- encrypted when the mode encrypts --------'
//
// The signature covers the prefix (with the chunk's final size) through the padding.
#include <cstddef>
#include <vector>

#include "opcua/security/crypto.h"
#include "opcua/status_codes.h"

namespace velk::ua::security {

// The algorithms of one direction.
class ChunkProtection {
  public:
    virtual ~ChunkProtection() = default;
    virtual std::size_t SignatureLength() const = 0;
    virtual bool Sign(ByteView data, Bytes& signature) const = 0;
    virtual bool Verify(ByteView data, ByteView signature) const = 0;
    // 0 when chunks are signed and not encrypted.
    virtual std::size_t PlainBlockSize() const = 0;
    virtual std::size_t CipherBlockSize() const = 0;
    // The padding size takes a second byte when the encryption key is over 2048 bits.
    virtual bool ExtraPaddingByte() const = 0;
    virtual bool Encrypt(ByteView plain, Bytes& cipher) const = 0;
    virtual bool Decrypt(ByteView cipher, Bytes& plain) const = 0;
};

// RSA: signed with signer (its private key when sending, the peer's public one when
// receiving), encrypted with encryption (the peer's public key when sending, the private
// one when receiving). The keys must outlive the object.
class AsymmetricProtection final : public ChunkProtection {
  public:
    AsymmetricProtection(const SecurityPolicy& policy, EVP_PKEY* signer, EVP_PKEY* encryption)
        : policy_(policy), signer_(signer), encryption_(encryption) {}
    std::size_t SignatureLength() const override { return KeyBytes(signer_); }
    bool Sign(ByteView data, Bytes& signature) const override;
    bool Verify(ByteView data, ByteView signature) const override;
    std::size_t PlainBlockSize() const override;
    std::size_t CipherBlockSize() const override { return KeyBytes(encryption_); }
    bool ExtraPaddingByte() const override { return KeyBits(encryption_) > 2048; }
    bool Encrypt(ByteView plain, Bytes& cipher) const override;
    bool Decrypt(ByteView cipher, Bytes& plain) const override;

  private:
    const SecurityPolicy& policy_;
    EVP_PKEY* signer_;
    EVP_PKEY* encryption_;
};

// HMAC-SHA256 and AES-CBC with the derived keys of one direction of a token.
class SymmetricProtection final : public ChunkProtection {
  public:
    SymmetricProtection(const SymmetricKeys& keys, bool encrypt) : keys_(keys), encrypt_(encrypt) {}
    std::size_t SignatureLength() const override { return kHmacSha256Length; }
    bool Sign(ByteView data, Bytes& signature) const override;
    bool Verify(ByteView data, ByteView signature) const override;
    std::size_t PlainBlockSize() const override { return encrypt_ ? 16 : 0; }
    std::size_t CipherBlockSize() const override { return encrypt_ ? 16 : 0; }
    bool ExtraPaddingByte() const override { return false; }
    bool Encrypt(ByteView plain, Bytes& cipher) const override;
    bool Decrypt(ByteView cipher, Bytes& plain) const override;

  private:
    const SymmetricKeys& keys_;
    const bool encrypt_;
};

// Protects the chunk that starts at offset start of out and runs to its end (written in
// clear, its size not yet final): pads, signs, encrypts, and sets its size.
bool SealChunk(const ChunkProtection& protection, std::vector<std::uint8_t>& out, std::size_t start,
               std::size_t prefixLength);

// Checks and opens a received chunk: plain gets it as it was before SealChunk (prefix, the
// sequence header and the body, its size set to match). A chunk that does not decrypt, whose
// signature does not match or whose padding is malformed is BadSecurityChecksFailed alike.
StatusCode OpenChunk(const ChunkProtection& protection, ByteView chunk, std::size_t prefixLength,
                     Bytes& plain);

// The most body bytes a chunk of bufferSize bytes carries; 0 when none fit.
std::size_t MaxChunkBody(const ChunkProtection& protection, std::size_t bufferSize,
                         std::size_t prefixLength);

}  // namespace velk::ua::security
