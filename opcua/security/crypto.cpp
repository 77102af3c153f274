// The primitives, each a short sequence of EVP calls.
#include "opcua/security/crypto.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

namespace velk::ua::security {

namespace {

struct PKeyCtxFree {
    void operator()(EVP_PKEY_CTX* c) const { EVP_PKEY_CTX_free(c); }
};
using PKeyCtx = std::unique_ptr<EVP_PKEY_CTX, PKeyCtxFree>;
struct MdCtxFree {
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};
struct CipherCtxFree {
    void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};

// Bytes OAEP takes from each block: two digests and two bytes.
std::size_t OaepOverhead(AsymmetricEncryption encryption) {
    return encryption == AsymmetricEncryption::kRsaOaepSha256 ? 2 * 32 + 2 : 2 * 20 + 2;
}

bool SetOaep(EVP_PKEY_CTX* ctx, AsymmetricEncryption encryption) {
    const EVP_MD* md =
        encryption == AsymmetricEncryption::kRsaOaepSha256 ? EVP_sha256() : EVP_sha1();
    return EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_OAEP_PADDING) > 0 &&
           EVP_PKEY_CTX_set_rsa_oaep_md(ctx, md) > 0 && EVP_PKEY_CTX_set_rsa_mgf1_md(ctx, md) > 0;
}

bool SetSignaturePadding(EVP_PKEY_CTX* ctx, AsymmetricSignature algorithm) {
    if (algorithm == AsymmetricSignature::kRsaPssSha256) {
        return EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PSS_PADDING) > 0 &&
               EVP_PKEY_CTX_set_rsa_pss_saltlen(ctx, RSA_PSS_SALTLEN_DIGEST) > 0;
    }
    return EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING) > 0;
}

bool IsRsa(EVP_PKEY* key) { return key != nullptr && EVP_PKEY_is_a(key, "RSA") == 1; }

}  // namespace

void PKeyFree::operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }

bool RandomBytes(std::span<std::uint8_t> out) {
    return out.empty() || RAND_bytes(out.data(), static_cast<int>(out.size())) == 1;
}

bool HmacSha256(ByteView key, ByteView data, std::span<std::uint8_t> out) {
    if (out.size() < kHmacSha256Length) return false;
    unsigned int length = 0;
    static const std::uint8_t kEmpty = 0;
    return HMAC(EVP_sha256(), key.empty() ? &kEmpty : key.data(), static_cast<int>(key.size()),
                data.empty() ? &kEmpty : data.data(), data.size(), out.data(),
                &length) != nullptr &&
           length == kHmacSha256Length;
}

Bytes PSha256(ByteView secret, ByteView seed, std::size_t length) {
    // A(0) = seed, A(i) = HMAC(secret, A(i-1)); the output is HMAC(secret, A(i) | seed)...
    Bytes out;
    out.reserve(length + kHmacSha256Length);
    Bytes a(seed.begin(), seed.end());
    Bytes input;
    std::uint8_t block[kHmacSha256Length];
    while (out.size() < length) {
        if (!HmacSha256(secret, a, block)) return {};
        a.assign(block, block + kHmacSha256Length);
        input.assign(a.begin(), a.end());
        input.insert(input.end(), seed.begin(), seed.end());
        if (!HmacSha256(secret, input, block)) return {};
        out.insert(out.end(), block, block + kHmacSha256Length);
    }
    out.resize(length);
    OPENSSL_cleanse(block, sizeof block);
    return out;
}

Bytes Sha1(ByteView data) {
    Bytes out(20);
    unsigned int length = 0;
    if (EVP_Digest(data.data(), data.size(), out.data(), &length, EVP_sha1(), nullptr) != 1) {
        return {};
    }
    return out;
}

bool ConstantTimeEqual(ByteView a, ByteView b) {
    return a.size() == b.size() && (a.empty() || CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0);
}

bool AesCbc(bool encrypt, ByteView key, ByteView iv, std::span<std::uint8_t> data) {
    const EVP_CIPHER* cipher = key.size() == 32   ? EVP_aes_256_cbc()
                               : key.size() == 16 ? EVP_aes_128_cbc()
                                                  : nullptr;
    if (cipher == nullptr || iv.size() != 16 || data.size() % 16 != 0) return false;
    std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree> ctx(EVP_CIPHER_CTX_new());
    if (!ctx || EVP_CipherInit_ex(ctx.get(), cipher, nullptr, key.data(), iv.data(),
                                  encrypt ? 1 : 0) != 1) {
        return false;
    }
    EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
    int written = 0;
    int last = 0;
    return data.empty() || (EVP_CipherUpdate(ctx.get(), data.data(), &written, data.data(),
                                             static_cast<int>(data.size())) == 1 &&
                            EVP_CipherFinal_ex(ctx.get(), data.data() + written, &last) == 1 &&
                            static_cast<std::size_t>(written + last) == data.size());
}

std::size_t KeyBits(EVP_PKEY* key) { return IsRsa(key) ? EVP_PKEY_get_bits(key) : 0; }
std::size_t KeyBytes(EVP_PKEY* key) { return IsRsa(key) ? EVP_PKEY_get_size(key) : 0; }

std::size_t PlainBlockSize(AsymmetricEncryption encryption, EVP_PKEY* key) {
    const std::size_t bytes = KeyBytes(key);
    const std::size_t overhead = OaepOverhead(encryption);
    return bytes > overhead ? bytes - overhead : 0;
}

bool RsaSign(AsymmetricSignature algorithm, EVP_PKEY* key, ByteView data, Bytes& signature) {
    if (!IsRsa(key) || algorithm == AsymmetricSignature::kNone) return false;
    std::unique_ptr<EVP_MD_CTX, MdCtxFree> md(EVP_MD_CTX_new());
    EVP_PKEY_CTX* ctx = nullptr;
    if (!md || EVP_DigestSignInit(md.get(), &ctx, EVP_sha256(), nullptr, key) != 1 ||
        !SetSignaturePadding(ctx, algorithm)) {
        return false;
    }
    std::size_t length = KeyBytes(key);
    signature.resize(length);
    if (EVP_DigestSign(md.get(), signature.data(), &length, data.data(), data.size()) != 1) {
        return false;
    }
    signature.resize(length);
    return true;
}

bool RsaVerify(AsymmetricSignature algorithm, EVP_PKEY* key, ByteView data, ByteView signature) {
    if (!IsRsa(key) || algorithm == AsymmetricSignature::kNone ||
        signature.size() != KeyBytes(key)) {
        return false;
    }
    std::unique_ptr<EVP_MD_CTX, MdCtxFree> md(EVP_MD_CTX_new());
    EVP_PKEY_CTX* ctx = nullptr;
    if (!md || EVP_DigestVerifyInit(md.get(), &ctx, EVP_sha256(), nullptr, key) != 1 ||
        !SetSignaturePadding(ctx, algorithm)) {
        return false;
    }
    return EVP_DigestVerify(md.get(), signature.data(), signature.size(), data.data(),
                            data.size()) == 1;
}

bool RsaEncrypt(AsymmetricEncryption encryption, EVP_PKEY* key, ByteView plain, Bytes& out) {
    const std::size_t block = PlainBlockSize(encryption, key);
    if (block == 0 || plain.size() % block != 0) return false;
    PKeyCtx ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr));
    if (!ctx || EVP_PKEY_encrypt_init(ctx.get()) != 1 || !SetOaep(ctx.get(), encryption)) {
        return false;
    }
    const std::size_t cipherBlock = KeyBytes(key);
    for (std::size_t at = 0; at < plain.size(); at += block) {
        const std::size_t start = out.size();
        out.resize(start + cipherBlock);
        std::size_t length = cipherBlock;
        if (EVP_PKEY_encrypt(ctx.get(), out.data() + start, &length, plain.data() + at, block) !=
                1 ||
            length != cipherBlock) {
            return false;
        }
    }
    return true;
}

bool RsaDecrypt(AsymmetricEncryption encryption, EVP_PKEY* key, ByteView cipher, Bytes& out) {
    const std::size_t cipherBlock = KeyBytes(key);
    if (cipherBlock == 0 || cipher.empty() || cipher.size() % cipherBlock != 0) return false;
    PKeyCtx ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr));
    if (!ctx || EVP_PKEY_decrypt_init(ctx.get()) != 1 || !SetOaep(ctx.get(), encryption)) {
        return false;
    }
    Bytes block(cipherBlock);
    bool ok = true;
    // Every block is decrypted even after a failure, so the time taken does not tell
    // which block was bad.
    for (std::size_t at = 0; at < cipher.size(); at += cipherBlock) {
        std::size_t length = block.size();
        const bool decrypted = EVP_PKEY_decrypt(ctx.get(), block.data(), &length,
                                                cipher.data() + at, cipherBlock) == 1;
        ok = ok && decrypted;
        if (decrypted) out.insert(out.end(), block.begin(), block.begin() + length);
    }
    OPENSSL_cleanse(block.data(), block.size());
    return ok;
}

PKey GenerateRsaKey(unsigned bits) {
    return PKey(EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", static_cast<std::size_t>(bits)));
}

PKey PublicKeyOfCertificate(ByteView der) {
    const unsigned char* p = der.data();
    X509* certificate = d2i_X509(nullptr, &p, static_cast<long>(der.size()));
    if (certificate == nullptr) return nullptr;
    PKey key(X509_get_pubkey(certificate));
    X509_free(certificate);
    if (!IsRsa(key.get())) return nullptr;
    return key;
}

ChannelKeys DeriveChannelKeys(const SecurityPolicy& policy, ByteView clientNonce,
                              ByteView serverNonce) {
    const std::size_t sign = policy.signingKeyLength;
    const std::size_t encrypt = policy.encryptionKeyLength;
    const std::size_t iv = policy.symmetricBlockSize;
    auto split = [&](const Bytes& material) {
        SymmetricKeys keys;
        if (material.size() != sign + encrypt + iv) return keys;
        keys.signingKey.assign(material.begin(), material.begin() + sign);
        keys.encryptingKey.assign(material.begin() + sign, material.begin() + sign + encrypt);
        keys.initializationVector.assign(material.begin() + sign + encrypt, material.end());
        return keys;
    };
    ChannelKeys keys;
    keys.client = split(PSha256(serverNonce, clientNonce, sign + encrypt + iv));
    keys.server = split(PSha256(clientNonce, serverNonce, sign + encrypt + iv));
    return keys;
}

}  // namespace velk::ua::security
