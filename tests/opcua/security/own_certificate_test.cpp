// The server's own certificate on a real directory: made once with what UA asks of it,
// stored with private modes, reused afterwards, made anew when its key does not match.
#include "opcua/security/own_certificate.h"

#include <gtest/gtest.h>
#include <openssl/x509.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "opcua/security/certificate.h"
#include "platform/linux/posix_protected_files.h"

namespace velk::ua::security {
namespace {

constexpr std::int64_t kNow = 1'780'000'000;

class OwnCertificateTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/velk_pki_XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        options_.pkiDirectory = pattern;
        options_.hostName = "plant-pc";
        options_.now = kNow;
    }
    void TearDown() override { std::filesystem::remove_all(options_.pkiDirectory); }

    std::shared_ptr<const OwnCertificate> Load() {
        std::string error;
        auto own = LoadOrCreateOwnCertificate(files_, options_, error);
        EXPECT_TRUE(own) << error;
        return own;
    }
    unsigned Mode(std::string_view relative) {
        struct stat info {};
        EXPECT_EQ(::stat((options_.pkiDirectory + "/" + std::string(relative)).c_str(), &info), 0);
        return info.st_mode & 0777;
    }

    PosixProtectedFiles files_;
    OwnCertificateOptions options_;
};

TEST_F(OwnCertificateTest, MadeOnceAsUaAsksAndKeptPrivate) {
    const auto own = Load();
    ASSERT_TRUE(own);
    const auto info = ReadCertificate(own->der);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->applicationUri, "urn:plant-pc:velk:ModbusOPCServer");
    EXPECT_EQ(info->dnsNames, std::vector<std::string>{"plant-pc"});
    EXPECT_EQ(info->keyBits, 2048u);
    EXPECT_TRUE(info->applicationKeyUsage);
    EXPECT_FALSE(info->authority);
    EXPECT_LT(info->notBefore, kNow);
    EXPECT_GT(info->notAfter, kNow + 365 * 86400);
    const unsigned char* p = own->der.data();
    X509* x = d2i_X509(nullptr, &p, static_cast<long>(own->der.size()));
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(X509_get_signature_nid(x), NID_sha256WithRSAEncryption);
    EXPECT_EQ(X509_verify(x, own->privateKey.get()), 1);
    X509_free(x);

    EXPECT_EQ(Mode(kOwnPrivateKeyFile), 0600u);
    EXPECT_EQ(Mode("own/private"), 0700u);
    EXPECT_EQ(Mode(kOwnCertificateFile), 0644u);

    const auto again = Load();
    ASSERT_TRUE(again);
    EXPECT_EQ(again->der, own->der);
    EXPECT_EQ(again->thumbprint, own->thumbprint);
}

TEST_F(OwnCertificateTest, AKeyOfAnotherCertificateGivesANewPair) {
    const auto first = Load();
    ASSERT_TRUE(first);
    PKey other = GenerateRsaKey(2048);
    ASSERT_TRUE(files_.Write(options_.pkiDirectory + "/" + std::string(kOwnPrivateKeyFile),
                             PrivateKeyToPem(other.get()), IProtectedFiles::Access::kPrivate));
    const auto second = Load();
    ASSERT_TRUE(second);
    EXPECT_NE(second->der, first->der);
    PKey certified = PublicKeyOfCertificate(second->der);
    EXPECT_EQ(EVP_PKEY_eq(certified.get(), second->privateKey.get()), 1);
    EXPECT_EQ(Load()->der, second->der);
}

}  // namespace
}  // namespace velk::ua::security
