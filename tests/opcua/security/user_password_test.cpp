// User password hashes and the decryption of a user token's password, the token made with
// OpenSSL alone as a client would.
#include "opcua/security/user_password.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>

#include <string>

namespace velk::ua::security {
namespace {

constexpr ScryptCost kCheap{1024, 8, 1};

TEST(PasswordHash, SaltedAndCheckedAgainstTheRightPasswordOnly) {
    const std::string stored = HashPassword("s3cret!", kCheap);
    ASSERT_FALSE(stored.empty());
    EXPECT_EQ(stored.find("s3cret"), std::string::npos);
    EXPECT_NE(HashPassword("s3cret!", kCheap), stored);
    EXPECT_TRUE(VerifyPassword("s3cret!", &stored));
    for (const char* wrong : {"s3cret", "s3cret!!", "S3cret!", ""}) {
        EXPECT_FALSE(VerifyPassword(wrong, &stored)) << wrong;
    }
    EXPECT_FALSE(VerifyPassword("s3cret!", nullptr));
}

TEST(PasswordHash, StoredTextsThatAreNoHashOrCostTooMuchMatchNothing) {
    const std::string good = HashPassword("pw", kCheap);
    // "$<salt>$<hash>" after the cost.
    const std::string salt = good.substr(good.find("$", 14));
    const std::string cases[] = {
        "",
        "pw",
        "scrypt$1024$8$1",
        "scrypt$1000$8$1" + salt,        // N not a power of two
        "scrypt$1073741824$8$1" + salt,  // a gibibyte of memory asked
        "scrypt$1024$8$9" + salt,
        good.substr(0, good.size() - 2),
        good + "00",
    };
    for (const auto& stored : cases) EXPECT_FALSE(VerifyPassword("pw", &stored)) << stored;
}

// The client's side: [length][password][server nonce], OAEP-encrypted block by block with
// the server's public key, the last block short.
Bytes EncryptToken(const SecurityPolicy& policy, EVP_PKEY* key, const std::string& password,
                   const Bytes& nonce, std::uint32_t length) {
    Bytes plain = {static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8),
                   static_cast<std::uint8_t>(length >> 16),
                   static_cast<std::uint8_t>(length >> 24)};
    plain.insert(plain.end(), password.begin(), password.end());
    plain.insert(plain.end(), nonce.begin(), nonce.end());
    const EVP_MD* md = policy.asymmetricEncryption == AsymmetricEncryption::kRsaOaepSha256
                           ? EVP_sha256()
                           : EVP_sha1();
    const std::size_t block = EVP_PKEY_get_size(key) - 2 * EVP_MD_get_size(md) - 2;
    Bytes cipher;
    for (std::size_t at = 0; at < plain.size(); at += block) {
        EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(key, nullptr);
        EVP_PKEY_encrypt_init(ctx);
        EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_OAEP_PADDING);
        EVP_PKEY_CTX_set_rsa_oaep_md(ctx, md);
        EVP_PKEY_CTX_set_rsa_mgf1_md(ctx, md);
        Bytes out(EVP_PKEY_get_size(key));
        std::size_t outLength = out.size();
        EVP_PKEY_encrypt(ctx, out.data(), &outLength, plain.data() + at,
                         std::min(block, plain.size() - at));
        EVP_PKEY_CTX_free(ctx);
        cipher.insert(cipher.end(), out.begin(), out.begin() + outLength);
    }
    return cipher;
}

TEST(UserTokenPassword, DecryptedAsEachPolicySaysAndBoundToTheServerNonce) {
    PKey server = GenerateRsaKey(2048);
    Bytes nonce(32), otherNonce(32);
    ASSERT_TRUE(RandomBytes(nonce) && RandomBytes(otherNonce));
    const std::string password(300, 'p');  // two blocks
    for (const auto& policy : SecurityPolicies()) {
        if (!policy.secured()) continue;
        SCOPED_TRACE(policy.name);
        const auto length = static_cast<std::uint32_t>(password.size() + nonce.size());
        const Bytes token = EncryptToken(policy, server.get(), password, nonce, length);
        std::string clear;
        ASSERT_EQ(DecryptUserPassword(policy, policy.asymmetricEncryptionUri, token, server.get(),
                                      nonce, clear),
                  kGood);
        EXPECT_EQ(clear, password);
        EXPECT_EQ(DecryptUserPassword(policy, policy.asymmetricEncryptionUri, token, server.get(),
                                      otherNonce, clear),
                  kBadIdentityTokenInvalid);
        EXPECT_EQ(DecryptUserPassword(policy, "http://www.w3.org/2001/04/xmlenc#rsa-1_5", token,
                                      server.get(), nonce, clear),
                  kBadIdentityTokenInvalid);
        const Bytes longer = EncryptToken(policy, server.get(), password, nonce, length + 1);
        EXPECT_EQ(DecryptUserPassword(policy, policy.asymmetricEncryptionUri, longer, server.get(),
                                      nonce, clear),
                  kBadIdentityTokenInvalid);
        Bytes tampered = token;
        tampered[10] ^= 1;
        EXPECT_EQ(DecryptUserPassword(policy, policy.asymmetricEncryptionUri, tampered,
                                      server.get(), nonce, clear),
                  kBadIdentityTokenInvalid);
        EXPECT_TRUE(clear.empty());
    }
    std::string clear;
    const std::string text = "plain";
    EXPECT_EQ(
        DecryptUserPassword(NonePolicy(), "", Bytes(text.begin(), text.end()), nullptr, {}, clear),
        kGood);
    EXPECT_EQ(clear, "plain");
}

}  // namespace
}  // namespace velk::ua::security
