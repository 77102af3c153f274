// The security primitives against published vectors and against OpenSSL's own TLS PRF,
// and the RSA and AES round trips of every policy.
#include "opcua/security/crypto.h"

#include <gtest/gtest.h>
#include <openssl/core_names.h>
#include <openssl/kdf.h>
#include <openssl/params.h>

#include <string>

namespace velk::ua::security {
namespace {

Bytes Hex(std::string_view hex) {
    Bytes out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.push_back(
            static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    }
    return out;
}

// OpenSSL's TLS 1.2 PRF with SHA-256 is P_SHA256 over label and seed joined: an independent
// implementation to check ours against.
Bytes OpenSslPrf(ByteView secret, ByteView seed, std::size_t length) {
    EVP_KDF* kdf = EVP_KDF_fetch(nullptr, "TLS1-PRF", nullptr);
    EVP_KDF_CTX* ctx = EVP_KDF_CTX_new(kdf);
    EVP_KDF_free(kdf);
    char digest[] = "SHA256";
    OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, digest, 0),
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SECRET,
                                          const_cast<std::uint8_t*>(secret.data()), secret.size()),
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SEED,
                                          const_cast<std::uint8_t*>(seed.data()), seed.size()),
        OSSL_PARAM_construct_end()};
    Bytes out(length);
    const bool ok = EVP_KDF_derive(ctx, out.data(), out.size(), params) == 1;
    EVP_KDF_CTX_free(ctx);
    return ok ? out : Bytes{};
}

TEST(PSha256, MatchesThePublishedTls12Vector) {
    const Bytes secret = Hex("9bbe436ba940f017b17652849a71db35");
    std::string label = "test label";
    Bytes seed(label.begin(), label.end());
    const Bytes random = Hex("a0ba9f936cda311827a6f796ffd5198c");
    seed.insert(seed.end(), random.begin(), random.end());
    EXPECT_EQ(PSha256(secret, seed, 100),
              Hex("e3f229ba727be17b8d122620557cd453c2aab21d07c3d495329b52d4e61edb5a6b301791e9"
                  "0d35c9c9a46b4e14baf9af0fa022f7077def17abfd3797c0564bab4fbc91666e9def9b97fc"
                  "e34f796789baa48082d122ee42c5a72e5a5110fff70187347b66"));
}

TEST(PSha256, MatchesOpenSslForLengthsAroundTheHashSize) {
    Bytes secret(32), seed(32);
    ASSERT_TRUE(RandomBytes(secret));
    ASSERT_TRUE(RandomBytes(seed));
    for (std::size_t length : {1u, 31u, 32u, 33u, 64u, 80u, 97u}) {
        EXPECT_EQ(PSha256(secret, seed, length), OpenSslPrf(secret, seed, length)) << length;
    }
}

TEST(DeriveChannelKeys, EachDirectionFromItsSecretAndSeed) {
    Bytes clientNonce(32), serverNonce(32);
    ASSERT_TRUE(RandomBytes(clientNonce));
    ASSERT_TRUE(RandomBytes(serverNonce));
    for (const auto& policy : SecurityPolicies()) {
        if (!policy.secured()) continue;
        SCOPED_TRACE(policy.name);
        const ChannelKeys keys = DeriveChannelKeys(policy, clientNonce, serverNonce);
        const std::size_t total =
            policy.signingKeyLength + policy.encryptionKeyLength + policy.symmetricBlockSize;
        for (const auto& [keysOf, secret, seed] :
             {std::tuple{&keys.client, &serverNonce, &clientNonce},
              std::tuple{&keys.server, &clientNonce, &serverNonce}}) {
            Bytes joined = keysOf->signingKey;
            joined.insert(joined.end(), keysOf->encryptingKey.begin(), keysOf->encryptingKey.end());
            joined.insert(joined.end(), keysOf->initializationVector.begin(),
                          keysOf->initializationVector.end());
            EXPECT_EQ(joined, OpenSslPrf(*secret, *seed, total));
            EXPECT_EQ(keysOf->encryptingKey.size(), policy.encryptionKeyLength);
            EXPECT_EQ(keysOf->initializationVector.size(), 16u);
        }
    }
}

class RsaTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        key2048_ = GenerateRsaKey(2048).release();
        key3072_ = GenerateRsaKey(3072).release();
    }
    static void TearDownTestSuite() {
        PKeyFree{}(key2048_);
        PKeyFree{}(key3072_);
    }
    static EVP_PKEY* key2048_;
    static EVP_PKEY* key3072_;
};
EVP_PKEY* RsaTest::key2048_ = nullptr;
EVP_PKEY* RsaTest::key3072_ = nullptr;

TEST_F(RsaTest, EveryPolicySignsAndEncryptsRoundTrip) {
    for (const auto& policy : SecurityPolicies()) {
        if (!policy.secured()) continue;
        for (EVP_PKEY* key : {key2048_, key3072_}) {
            SCOPED_TRACE(std::string(policy.name) + " " + std::to_string(KeyBits(key)));
            Bytes data(3 * PlainBlockSize(policy.asymmetricEncryption, key));
            ASSERT_FALSE(data.empty());
            ASSERT_TRUE(RandomBytes(data));
            Bytes signature;
            ASSERT_TRUE(RsaSign(policy.asymmetricSignature, key, data, signature));
            EXPECT_EQ(signature.size(), KeyBytes(key));
            EXPECT_TRUE(RsaVerify(policy.asymmetricSignature, key, data, signature));
            Bytes tampered = data;
            tampered[data.size() / 2] ^= 0x01;
            EXPECT_FALSE(RsaVerify(policy.asymmetricSignature, key, tampered, signature));

            Bytes cipher, plain;
            ASSERT_TRUE(RsaEncrypt(policy.asymmetricEncryption, key, data, cipher));
            EXPECT_EQ(cipher.size(), 3 * KeyBytes(key));
            ASSERT_TRUE(RsaDecrypt(policy.asymmetricEncryption, key, cipher, plain));
            EXPECT_EQ(plain, data);
            cipher[KeyBytes(key) + 5] ^= 0x80;
            plain.clear();
            EXPECT_FALSE(RsaDecrypt(policy.asymmetricEncryption, key, cipher, plain));
        }
    }
}

TEST_F(RsaTest, PolicyAlgorithmsAreNotInterchangeable) {
    Bytes data(100, 0x5A), signature, cipher, plain;
    ASSERT_TRUE(RsaSign(AsymmetricSignature::kRsaPssSha256, key2048_, data, signature));
    EXPECT_FALSE(RsaVerify(AsymmetricSignature::kRsaPkcs1Sha256, key2048_, data, signature));
    // OAEP with SHA-1 leaves 214 bytes of a 256-byte block, with SHA-256 190.
    EXPECT_EQ(PlainBlockSize(AsymmetricEncryption::kRsaOaepSha1, key2048_), 214u);
    EXPECT_EQ(PlainBlockSize(AsymmetricEncryption::kRsaOaepSha256, key2048_), 190u);
    Bytes block(190, 0x11);
    ASSERT_TRUE(RsaEncrypt(AsymmetricEncryption::kRsaOaepSha256, key2048_, block, cipher));
    EXPECT_FALSE(RsaDecrypt(AsymmetricEncryption::kRsaOaepSha1, key2048_, cipher, plain));
    // Not a whole number of blocks.
    EXPECT_FALSE(RsaEncrypt(AsymmetricEncryption::kRsaOaepSha256, key2048_,
                            ByteView(block).first(100), cipher));
}

TEST(AesCbc, RoundTripsAndRefusesPartialBlocks) {
    for (std::size_t keyLength : {16u, 32u}) {
        Bytes key(keyLength), iv(16), data(64), copy;
        ASSERT_TRUE(RandomBytes(key) && RandomBytes(iv) && RandomBytes(data));
        copy = data;
        ASSERT_TRUE(AesCbc(true, key, iv, data));
        EXPECT_NE(data, copy);
        ASSERT_TRUE(AesCbc(false, key, iv, data));
        EXPECT_EQ(data, copy);
        EXPECT_FALSE(AesCbc(true, key, iv, std::span(data).first(20)));
    }
    Bytes key24(24), iv(16), data(16);
    EXPECT_FALSE(AesCbc(true, key24, iv, data));
}

TEST(SecurityPolicyTable, UnknownUrisAreNotFound) {
    EXPECT_EQ(FindSecurityPolicy("http://opcfoundation.org/UA/SecurityPolicy#Basic128Rsa15"),
              nullptr);
    EXPECT_EQ(FindSecurityPolicy(""), nullptr);
    for (const auto& policy : SecurityPolicies())
        EXPECT_EQ(FindSecurityPolicy(policy.uri), &policy);
}

}  // namespace
}  // namespace velk::ua::security
