// Certificates through OpenSSL's X509 interfaces.

#include "opcua/security/certificate.h"

#include <openssl/bio.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

#include "opcua/security/x509_handle.h"

namespace velk::ua::security {

namespace {

struct BioFree {
    void operator()(BIO* b) const { BIO_free(b); }
};

X509Ptr ParseDer(ByteView der) {
    const unsigned char* p = der.data();
    X509Ptr x(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
    if (x && p != der.data() + der.size()) x.reset();
    return x;
}

bool AddExtension(X509* x, X509* issuer, int nid, const std::string& value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, x, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str());
    if (extension == nullptr) return false;
    const bool added = X509_add_ext(x, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    return added;
}

bool AddName(X509_NAME* name, const char* field, const std::string& value) {
    return value.empty() ||
           X509_NAME_add_entry_by_txt(name, field, MBSTRING_UTF8,
                                      reinterpret_cast<const unsigned char*>(value.c_str()), -1, -1,
                                      0) == 1;
}

std::int64_t ToSeconds(const ASN1_TIME* time) {
    struct tm parts {};
    if (time == nullptr || ASN1_TIME_to_tm(time, &parts) != 1) return 0;
    // Days from the civil date (proleptic Gregorian), without the C library's time zone.
    const int y = parts.tm_year + 1900 - (parts.tm_mon < 2 ? 1 : 0);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int m = parts.tm_mon + 1;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + parts.tm_mday - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const std::int64_t days = static_cast<std::int64_t>(era) * 146097 + doe - 719468;
    return days * 86400 + parts.tm_hour * 3600 + parts.tm_min * 60 + parts.tm_sec;
}

}  // namespace

Bytes MakeCertificate(const CertificateRequest& request, EVP_PKEY* subjectKey, EVP_PKEY* issuerKey,
                      ByteView issuerDer) {
    X509Ptr issuer;
    if (!issuerDer.empty()) {
        issuer = ParseDer(issuerDer);
        if (!issuer) return {};
    }
    X509Ptr x(X509_new());
    if (!x || X509_set_version(x.get(), 2) != 1 ||
        ASN1_INTEGER_set_uint64(X509_get_serialNumber(x.get()), request.serialNumber) != 1 ||
        ASN1_TIME_set(X509_getm_notBefore(x.get()), static_cast<time_t>(request.notBefore)) ==
            nullptr ||
        ASN1_TIME_set(X509_getm_notAfter(x.get()), static_cast<time_t>(request.notAfter)) ==
            nullptr ||
        X509_set_pubkey(x.get(), subjectKey) != 1) {
        return {};
    }
    X509_NAME* name = X509_get_subject_name(x.get());
    if (!AddName(name, "CN", request.commonName) || !AddName(name, "O", request.organization)) {
        return {};
    }
    X509* signer = issuer ? issuer.get() : x.get();
    if (X509_set_issuer_name(x.get(), X509_get_subject_name(signer)) != 1) return {};
    bool ok = AddExtension(x.get(), signer, NID_subject_key_identifier, "hash") &&
              AddExtension(x.get(), signer, NID_authority_key_identifier, "keyid:always");
    if (request.authority) {
        ok = ok && AddExtension(x.get(), signer, NID_basic_constraints, "critical,CA:TRUE") &&
             AddExtension(x.get(), signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        std::string alt;
        if (!request.applicationUri.empty()) alt = "URI:" + request.applicationUri;
        for (const auto& dns : request.dnsNames) alt += (alt.empty() ? "DNS:" : ",DNS:") + dns;
        ok = ok && AddExtension(x.get(), signer, NID_basic_constraints, "critical,CA:FALSE") &&
             AddExtension(x.get(), signer, NID_key_usage,
                          "critical,digitalSignature,nonRepudiation,keyEncipherment,"
                          "dataEncipherment") &&
             AddExtension(x.get(), signer, NID_ext_key_usage, "serverAuth,clientAuth") &&
             (alt.empty() || AddExtension(x.get(), signer, NID_subject_alt_name, alt));
    }
    if (!ok ||
        X509_sign(x.get(), issuerKey != nullptr ? issuerKey : subjectKey, EVP_sha256()) <= 0) {
        return {};
    }
    const int length = i2d_X509(x.get(), nullptr);
    if (length <= 0) return {};
    Bytes der(static_cast<std::size_t>(length));
    unsigned char* p = der.data();
    i2d_X509(x.get(), &p);
    return der;
}

std::optional<CertificateInfo> ReadCertificate(ByteView der) {
    X509Ptr x = ParseDer(der);
    if (!x) return std::nullopt;
    CertificateInfo info;
    char line[512];
    X509_NAME_oneline(X509_get_subject_name(x.get()), line, sizeof line);
    info.subject = line;
    info.notBefore = ToSeconds(X509_get0_notBefore(x.get()));
    info.notAfter = ToSeconds(X509_get0_notAfter(x.get()));
    PKey key(X509_get_pubkey(x.get()));
    info.keyBits = KeyBits(key.get());
    info.selfSigned = (X509_get_extension_flags(x.get()) & EXFLAG_SS) != 0;
    info.authority = X509_check_ca(x.get()) != 0;
    const std::uint32_t usage = X509_get_key_usage(x.get());
    const std::uint32_t wanted =
        KU_DIGITAL_SIGNATURE | KU_NON_REPUDIATION | KU_KEY_ENCIPHERMENT | KU_DATA_ENCIPHERMENT;
    info.applicationKeyUsage = usage == UINT32_MAX || (usage & wanted) == wanted;
    auto* names = static_cast<GENERAL_NAMES*>(
        X509_get_ext_d2i(x.get(), NID_subject_alt_name, nullptr, nullptr));
    for (int i = 0; names != nullptr && i < sk_GENERAL_NAME_num(names); ++i) {
        const GENERAL_NAME* name = sk_GENERAL_NAME_value(names, i);
        if (name->type != GEN_URI && name->type != GEN_DNS) continue;
        const ASN1_IA5STRING* text = name->d.ia5;
        std::string value(reinterpret_cast<const char*>(ASN1_STRING_get0_data(text)),
                          static_cast<std::size_t>(ASN1_STRING_length(text)));
        if (name->type == GEN_URI && info.applicationUri.empty()) {
            info.applicationUri = std::move(value);
        } else if (name->type == GEN_DNS) {
            info.dnsNames.push_back(std::move(value));
        }
    }
    GENERAL_NAMES_free(names);
    info.thumbprint = Sha1(der);
    return info;
}

std::string PrivateKeyToPem(EVP_PKEY* key) {
    std::unique_ptr<BIO, BioFree> bio(BIO_new(BIO_s_mem()));
    if (!bio ||
        PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) != 1) {
        return {};
    }
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio.get(), &data);
    return length > 0 ? std::string(data, static_cast<std::size_t>(length)) : std::string();
}

PKey PrivateKeyFromPem(const std::string& pem) {
    std::unique_ptr<BIO, BioFree> bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    if (!bio) return nullptr;
    return PKey(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
}

}  // namespace velk::ua::security
