// The trust list on a real PKI directory, with certificates, CAs and revocation lists made
// here: refusal and the rejected copy, trust by moving the file, validity, chains through
// issuers, revocation, a looping chain, key usage and length, and the trace of refusals.
#include "opcua/security/trust_list.h"

#include <gtest/gtest.h>
#include <openssl/x509.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "opcua/security/certificate.h"
#include "platform/linux/posix_protected_files.h"
#include "tests/support/fake_clock.h"

namespace velk::ua::security {
namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kDay = 86400;

std::int64_t Now(const testing::FakeClock& clock) {
    return static_cast<std::int64_t>((clock.NowUtc() - 116444736000000000ull) / 10'000'000ull);
}

struct Issued {
    PKey key;
    Bytes der;
};

// Makes a key and its certificate; signed by issuer when given, else self-signed.
Issued Make(const std::string& name, std::int64_t now, bool authority = false,
            const Issued* issuer = nullptr, std::uint64_t serial = 1, unsigned bits = 2048,
            std::int64_t notAfter = 0, PKey key = nullptr) {
    Issued issued;
    issued.key = key ? std::move(key) : GenerateRsaKey(bits);
    CertificateRequest request;
    request.commonName = name;
    request.applicationUri = authority ? "" : "urn:" + name;
    request.notBefore = now - kDay;
    request.notAfter = notAfter != 0 ? notAfter : now + 30 * kDay;
    request.serialNumber = serial;
    request.authority = authority;
    issued.der = issuer ? MakeCertificate(request, issued.key.get(), issuer->key.get(), issuer->der)
                        : MakeCertificate(request, issued.key.get());
    return issued;
}

Bytes MakeCrl(const Issued& ca, std::int64_t now, std::vector<std::uint64_t> revoked) {
    const unsigned char* p = ca.der.data();
    X509* caCertificate = d2i_X509(nullptr, &p, static_cast<long>(ca.der.size()));
    X509_CRL* crl = X509_CRL_new();
    X509_CRL_set_version(crl, 1);
    X509_CRL_set_issuer_name(crl, X509_get_subject_name(caCertificate));
    ASN1_TIME* time = ASN1_TIME_set(nullptr, static_cast<time_t>(now - kDay));
    X509_CRL_set1_lastUpdate(crl, time);
    ASN1_TIME_set(time, static_cast<time_t>(now + 7 * kDay));
    X509_CRL_set1_nextUpdate(crl, time);
    for (const auto serial : revoked) {
        X509_REVOKED* entry = X509_REVOKED_new();
        ASN1_INTEGER* number = ASN1_INTEGER_new();
        ASN1_INTEGER_set_uint64(number, serial);
        X509_REVOKED_set_serialNumber(entry, number);
        ASN1_TIME_set(time, static_cast<time_t>(now - 3600));
        X509_REVOKED_set_revocationDate(entry, time);
        X509_CRL_add0_revoked(crl, entry);
        ASN1_INTEGER_free(number);
    }
    X509_CRL_sign(crl, ca.key.get(), EVP_sha256());
    Bytes der(static_cast<std::size_t>(i2d_X509_CRL(crl, nullptr)));
    unsigned char* out = der.data();
    i2d_X509_CRL(crl, &out);
    ASN1_TIME_free(time);
    X509_CRL_free(crl);
    X509_free(caCertificate);
    return der;
}

Bytes Joined(const Bytes& a, const Bytes& b) {
    Bytes joined = a;
    joined.insert(joined.end(), b.begin(), b.end());
    return joined;
}

class TrustListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/velk_trust_XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        pki_ = pattern;
        trust_.emplace(files_, clock_, pki_,
                       [this](std::string_view line) { traces_.emplace_back(line); });
        ASSERT_TRUE(trust_->CreateLayout());
    }
    void TearDown() override { fs::remove_all(pki_); }

    void Put(const std::string& sub, const std::string& name, const Bytes& der) {
        std::ofstream(pki_ + "/" + sub + "/" + name, std::ios::binary)
            .write(reinterpret_cast<const char*>(der.data()),
                   static_cast<std::streamsize>(der.size()));
    }
    std::vector<fs::path> Rejected() {
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(pki_ + "/rejected/certs")) {
            files.push_back(entry.path());
        }
        return files;
    }
    StatusCode Check(const Bytes& chain) {
        return trust_->Check(
            *FindSecurityPolicy("http://opcfoundation.org/UA/SecurityPolicy#Basic256Sha256"),
            chain);
    }

    testing::FakeClock clock_;
    PosixProtectedFiles files_;
    std::string pki_;
    std::optional<TrustList> trust_;
    std::vector<std::string> traces_;
};

TEST_F(TrustListTest, AnUnknownCertificateIsRejectedThenTrustedByMovingItsFile) {
    const Issued client = Make("client", Now(clock_));
    EXPECT_EQ(Check(client.der), kBadCertificateUntrusted);
    const auto rejected = Rejected();
    ASSERT_EQ(rejected.size(), 1u);
    std::ifstream in(rejected[0], std::ios::binary);
    const Bytes copy((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(copy, client.der);
    EXPECT_EQ(Check(client.der), kBadCertificateUntrusted);
    EXPECT_EQ(Rejected().size(), 1u);

    fs::rename(rejected[0], pki_ + "/trusted/certs/" + rejected[0].filename().string());
    EXPECT_EQ(Check(client.der), kGood);
    EXPECT_TRUE(Rejected().empty());
}

TEST_F(TrustListTest, ChainsValidityRevocationAndUse) {
    const std::int64_t now = Now(clock_);
    const Issued root = Make("root", now, true);
    const Issued intermediate = Make("intermediate", now, true, &root, 2);
    const Issued good = Make("good", now, false, &root, 10);
    const Issued revoked = Make("revoked", now, false, &root, 11);
    const Issued viaIntermediate = Make("via", now, false, &intermediate, 12);
    const Issued expired = Make("expired", now - 60 * kDay, false, nullptr, 1, 2048, now - kDay);
    const Issued weak = Make("weak", now, false, nullptr, 1, 1024);
    const Issued untrustedRoot = Make("otherroot", now, true);
    const Issued underUntrusted = Make("stranger", now, false, &untrustedRoot, 5);
    const Issued lonelyCa = Make("lonelyca", now, true);
    const Issued noCrl = Make("nocrl", now, false, &lonelyCa, 6);
    // Two CAs, each issued by the other.
    Issued y0 = Make("loopy", now, true);
    const Issued x = Make("loopx", now, true, &y0, 7);
    const Issued y = Make("loopy", now, true, &x, 8, 2048, 0, std::move(y0.key));
    const Issued looped = Make("looped", now, false, &x, 9);

    Put("trusted/certs", "root.der", root.der);
    Put("trusted/crl", "root.crl", MakeCrl(root, now, {11}));
    Put("trusted/certs", "lonelyca.der", lonelyCa.der);
    Put("issuers/certs", "intermediate.der", intermediate.der);
    Put("issuers/crl", "intermediate.crl", MakeCrl(intermediate, now, {}));
    Put("trusted/certs", "expired.der", expired.der);
    Put("trusted/certs", "weak.der", weak.der);
    Put("issuers/certs", "loopx.der", x.der);
    Put("issuers/certs", "loopy.der", y.der);

    const struct {
        const char* name;
        Bytes chain;
        StatusCode expected;
    } cases[] = {
        {"issued by a trusted CA", good.der, kGood},
        {"through an issuer to a trusted CA", viaIntermediate.der, kGood},
        {"its issuer sent along", Joined(viaIntermediate.der, intermediate.der), kGood},
        {"revoked", revoked.der, kBadCertificateRevoked},
        {"a CA without a revocation list", noCrl.der, kBadCertificateRevocationUnknown},
        {"expired, though trusted", expired.der, kBadCertificateTimeInvalid},
        {"a 1024-bit key, though trusted", weak.der, kBadSecurityChecksFailed},
        {"under an untrusted root sent along", Joined(underUntrusted.der, untrustedRoot.der),
         kBadCertificateUntrusted},
        {"a looping chain", looped.der, kBadCertificateChainIncomplete},
        {"a CA certificate as a client's", root.der, kBadCertificateUseNotAllowed},
        {"not a certificate", Bytes(40, 0x30), kBadCertificateInvalid},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Check(c.chain), c.expected) << c.name << ": " << StatusCodeName(Check(c.chain));
    }
}

TEST_F(TrustListTest, RefusalsAreTracedOncePerCertificateAndMinute) {
    const Issued first = Make("first", Now(clock_));
    const Issued second = Make("second", Now(clock_));
    for (int i = 0; i < 3; ++i) Check(first.der);
    EXPECT_EQ(traces_.size(), 1u);
    EXPECT_NE(traces_[0].find("BadCertificateUntrusted"), std::string::npos);
    Check(second.der);
    EXPECT_EQ(traces_.size(), 2u);
    clock_.Advance(59'000);
    Check(first.der);
    EXPECT_EQ(traces_.size(), 2u);
    clock_.Advance(1'000);
    Check(first.der);
    EXPECT_EQ(traces_.size(), 3u);
}

TEST(ApplicationUri, TheCertificatesMustBeTheClients) {
    PKey key = GenerateRsaKey(2048);
    CertificateRequest request;
    request.commonName = "c";
    request.applicationUri = "urn:plant:client";
    request.notAfter = 4'000'000'000;
    const Bytes der = MakeCertificate(request, key.get());
    EXPECT_EQ(CheckApplicationUri(der, "urn:plant:client"), kGood);
    EXPECT_EQ(CheckApplicationUri(der, "urn:plant:other"), kBadCertificateUriInvalid);
    request.applicationUri.clear();
    EXPECT_EQ(CheckApplicationUri(MakeCertificate(request, key.get()), ""),
              kBadCertificateUriInvalid);
}

}  // namespace
}  // namespace velk::ua::security
