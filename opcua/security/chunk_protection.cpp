// Chunk padding, signatures and encryption.
#include "opcua/security/chunk_protection.h"

#include <openssl/crypto.h>

namespace velk::ua::security {

namespace {

constexpr std::size_t kSequenceHeaderSize = 8;

void PutUInt32(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// All ones when a < b, else 0, without a branch; a and b below 2^31.
std::uint32_t MaskBelow(std::uint32_t a, std::uint32_t b) { return 0u - ((a - b) >> 31); }

// The padding in front of the signature, checked in a time that does not depend on its
// size: every byte that could be padding is looked at. Gives the bytes padding takes with
// its size bytes, or 0 when it is malformed.
std::size_t CheckPadding(ByteView plain, bool extra, std::size_t plainBlock) {
    const std::size_t sizeBytes = extra ? 2 : 1;
    if (plain.size() < kSequenceHeaderSize + sizeBytes) return 0;
    const std::size_t end = plain.size() - sizeBytes;  // where the padding ends
    const std::uint32_t low = plain[end];
    const std::uint32_t size = low | (extra ? static_cast<std::uint32_t>(plain[end + 1]) << 8 : 0);
    // Padding is never a whole block or more, nor longer than what lies before it.
    const std::size_t room = end - kSequenceHeaderSize;
    const std::size_t window = room < plainBlock ? room : plainBlock - 1;
    std::uint32_t bad = ~MaskBelow(size, static_cast<std::uint32_t>(window) + 1);
    for (std::size_t i = 0; i < window; ++i) {
        const std::uint32_t inPadding = MaskBelow(static_cast<std::uint32_t>(i), size);
        bad |= inPadding & (plain[end - 1 - i] ^ low);
    }
    return bad == 0 ? size + sizeBytes : 0;
}

}  // namespace

bool AsymmetricProtection::Sign(ByteView data, Bytes& signature) const {
    return RsaSign(policy_.asymmetricSignature, signer_, data, signature);
}
bool AsymmetricProtection::Verify(ByteView data, ByteView signature) const {
    return RsaVerify(policy_.asymmetricSignature, signer_, data, signature);
}
std::size_t AsymmetricProtection::PlainBlockSize() const {
    return security::PlainBlockSize(policy_.asymmetricEncryption, encryption_);
}
bool AsymmetricProtection::Encrypt(ByteView plain, Bytes& cipher) const {
    return RsaEncrypt(policy_.asymmetricEncryption, encryption_, plain, cipher);
}
bool AsymmetricProtection::Decrypt(ByteView cipher, Bytes& plain) const {
    return RsaDecrypt(policy_.asymmetricEncryption, encryption_, cipher, plain);
}

bool SymmetricProtection::Sign(ByteView data, Bytes& signature) const {
    signature.resize(kHmacSha256Length);
    return HmacSha256(keys_.signingKey, data, signature);
}
bool SymmetricProtection::Verify(ByteView data, ByteView signature) const {
    std::uint8_t expected[kHmacSha256Length];
    return HmacSha256(keys_.signingKey, data, expected) &&
           ConstantTimeEqual(ByteView(expected, kHmacSha256Length), signature);
}
bool SymmetricProtection::Encrypt(ByteView plain, Bytes& cipher) const {
    cipher.assign(plain.begin(), plain.end());
    return AesCbc(true, keys_.encryptingKey, keys_.initializationVector, cipher);
}
bool SymmetricProtection::Decrypt(ByteView cipher, Bytes& plain) const {
    plain.assign(cipher.begin(), cipher.end());
    return AesCbc(false, keys_.encryptingKey, keys_.initializationVector, plain);
}

bool SealChunk(const ChunkProtection& protection, std::vector<std::uint8_t>& out, std::size_t start,
               std::size_t prefixLength) {
    const std::size_t protectedStart = start + prefixLength;
    if (out.size() < protectedStart) return false;
    const std::size_t signatureLength = protection.SignatureLength();
    const std::size_t plainBlock = protection.PlainBlockSize();
    std::size_t total = out.size() - start + signatureLength;
    if (plainBlock != 0) {
        const bool extra = protection.ExtraPaddingByte();
        const std::size_t fixed =
            out.size() - protectedStart + 1 + (extra ? 1 : 0) + signatureLength;
        const std::size_t padding = (plainBlock - fixed % plainBlock) % plainBlock;
        out.insert(out.end(), padding + 1, static_cast<std::uint8_t>(padding));
        if (extra) out.push_back(static_cast<std::uint8_t>(padding >> 8));
        const std::size_t blocks = (fixed + padding) / plainBlock;
        total = prefixLength + blocks * protection.CipherBlockSize();
    }
    PutUInt32(out.data() + start + 4, static_cast<std::uint32_t>(total));
    Bytes signature;
    if (!protection.Sign(ByteView(out).subspan(start), signature) ||
        signature.size() != signatureLength) {
        return false;
    }
    out.insert(out.end(), signature.begin(), signature.end());
    if (plainBlock == 0) return true;
    Bytes cipher;
    if (!protection.Encrypt(ByteView(out).subspan(protectedStart), cipher)) return false;
    out.resize(protectedStart);
    out.insert(out.end(), cipher.begin(), cipher.end());
    return out.size() - start == total;
}

StatusCode OpenChunk(const ChunkProtection& protection, ByteView chunk, std::size_t prefixLength,
                     Bytes& plain) {
    if (chunk.size() < prefixLength) return kBadSecurityChecksFailed;
    const ByteView tail = chunk.subspan(prefixLength);
    const bool encrypted = protection.PlainBlockSize() != 0;
    plain.assign(chunk.begin(), chunk.begin() + prefixLength);
    if (encrypted) {
        Bytes decrypted;
        const std::size_t block = protection.CipherBlockSize();
        if (tail.empty() || tail.size() % block != 0 || !protection.Decrypt(tail, decrypted)) {
            return kBadSecurityChecksFailed;
        }
        plain.insert(plain.end(), decrypted.begin(), decrypted.end());
        OPENSSL_cleanse(decrypted.data(), decrypted.size());
    } else {
        plain.insert(plain.end(), tail.begin(), tail.end());
    }
    const std::size_t signatureLength = protection.SignatureLength();
    if (plain.size() < prefixLength + kSequenceHeaderSize + signatureLength) {
        return kBadSecurityChecksFailed;
    }
    const std::size_t signed_ = plain.size() - signatureLength;
    if (!protection.Verify(ByteView(plain).first(signed_), ByteView(plain).subspan(signed_))) {
        return kBadSecurityChecksFailed;
    }
    std::size_t bodyEnd = signed_;
    if (encrypted) {
        const std::size_t padding =
            CheckPadding(ByteView(plain).subspan(prefixLength, signed_ - prefixLength),
                         protection.ExtraPaddingByte(), protection.PlainBlockSize());
        if (padding == 0) return kBadSecurityChecksFailed;
        bodyEnd -= padding;
    }
    plain.resize(bodyEnd);
    PutUInt32(plain.data() + 4, static_cast<std::uint32_t>(plain.size()));
    return kGood;
}

std::size_t MaxChunkBody(const ChunkProtection& protection, std::size_t bufferSize,
                         std::size_t prefixLength) {
    if (bufferSize <= prefixLength) return 0;
    const std::size_t room = bufferSize - prefixLength;
    const std::size_t fixed = kSequenceHeaderSize + protection.SignatureLength();
    std::size_t plainRoom = room;
    if (protection.PlainBlockSize() != 0) {
        plainRoom = room / protection.CipherBlockSize() * protection.PlainBlockSize();
        plainRoom = plainRoom > 1 + (protection.ExtraPaddingByte() ? 1 : 0)
                        ? plainRoom - 1 - (protection.ExtraPaddingByte() ? 1 : 0)
                        : 0;
    }
    return plainRoom > fixed ? plainRoom - fixed : 0;
}

}  // namespace velk::ua::security
