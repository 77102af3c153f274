// Certificate chains verified with OpenSSL's X509 store, against the directories read anew.

#include "opcua/security/trust_list.h"

#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <memory>

#include "core/trace_file.h"
#include "opcua/security/certificate.h"
#include "opcua/security/server_channel_security.h"
#include "opcua/security/x509_handle.h"

namespace velk::ua::security {

namespace {

using Access = IProtectedFiles::Access;

constexpr std::uint32_t kTraceIntervalMs = 60'000;
constexpr int kMaxChainDepth = 8;
constexpr const char* kDirectories[] = {"trusted/certs", "trusted/crl", "issuers/certs",
                                        "issuers/crl", "rejected/certs"};

struct StoreFree {
    void operator()(X509_STORE* s) const { X509_STORE_free(s); }
};
struct StoreCtxFree {
    void operator()(X509_STORE_CTX* c) const { X509_STORE_CTX_free(c); }
};
struct StackFree {
    void operator()(STACK_OF(X509) * s) const { sk_X509_pop_free(s, X509_free); }
};

X509Ptr ParseCertificate(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    return X509Ptr(d2i_X509(nullptr, &p, static_cast<long>(bytes.size())));
}

X509_CRL* ParseCrl(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    return d2i_X509_CRL(nullptr, &p, static_cast<long>(bytes.size()));
}

std::int64_t UnixSeconds(FileTime time) {
    constexpr std::uint64_t kEpoch = 116444736000000000ull;
    return time < kEpoch ? 0 : static_cast<std::int64_t>((time - kEpoch) / 10'000'000ull);
}

std::string Hex(ByteView bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (const auto b : bytes) {
        text += kDigits[b >> 4];
        text += kDigits[b & 15];
    }
    return text;
}

// A file name an administrator recognises: the common name's safe characters and the
// thumbprint.
std::string RejectedName(const CertificateInfo& info) {
    std::string name;
    const auto cn = info.subject.find("CN=");
    if (cn != std::string::npos) {
        for (std::size_t i = cn + 3; i < info.subject.size() && info.subject[i] != '/'; ++i) {
            const char c = info.subject[i];
            const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                              (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
            if (name.size() < 64) name += safe ? c : '_';
        }
    }
    return name + " [" + Hex(info.thumbprint) + "].der";
}

StatusCode FromVerifyError(int error, int depth) {
    const bool leaf = depth == 0;
    switch (error) {
        case X509_V_ERR_CERT_NOT_YET_VALID:
        case X509_V_ERR_CERT_HAS_EXPIRED:
            return leaf ? kBadCertificateTimeInvalid : kBadCertificateIssuerTimeInvalid;
        case X509_V_ERR_CERT_REVOKED:
            return leaf ? kBadCertificateRevoked : kBadCertificateIssuerRevoked;
        case X509_V_ERR_UNABLE_TO_GET_CRL:
        case X509_V_ERR_CRL_HAS_EXPIRED:
        case X509_V_ERR_CRL_NOT_YET_VALID:
            return leaf ? kBadCertificateRevocationUnknown : kBadCertificateIssuerRevocationUnknown;
        case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        case X509_V_ERR_CERT_UNTRUSTED:
            return kBadCertificateUntrusted;
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
        case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        case X509_V_ERR_CERT_CHAIN_TOO_LONG:
            return kBadCertificateChainIncomplete;
        case X509_V_ERR_KEYUSAGE_NO_CERTSIGN:
        case X509_V_ERR_KEYUSAGE_NO_CRL_SIGN:
        case X509_V_ERR_INVALID_CA:
            return kBadCertificateIssuerUseNotAllowed;
        default:
            return kBadCertificateInvalid;
    }
}

}  // namespace

TrustList::TrustList(IProtectedFiles& files, const IClock& clock, std::string pkiDirectory,
                     TraceSink trace)
    : files_(files), clock_(clock), directory_(std::move(pkiDirectory)), trace_(std::move(trace)) {
    if (!trace_) trace_ = [](std::string_view text) { velk::Trace(text); };
}

bool TrustList::CreateLayout() {
    bool ok = true;
    for (const char* sub : kDirectories) {
        ok = files_.CreateDirectories(directory_ + "/" + sub, Access::kPublic) && ok;
    }
    return ok;
}

StatusCode TrustList::Check(const SecurityPolicy& policy, ByteView chain) {
    std::string reason;
    bool trustedItself = false;
    const StatusCode status = Verify(policy, chain, reason, trustedItself);
    if (status != kGood) {
        std::vector<ByteView> certificates;
        if (SplitCertificateChain(chain, certificates)) {
            Refused(certificates.front(), status, reason, trustedItself);
        }
    }
    return status;
}

StatusCode TrustList::Verify(const SecurityPolicy& policy, ByteView chain, std::string& reason,
                             bool& trustedItself) {
    std::vector<ByteView> certificates;
    if (!SplitCertificateChain(chain, certificates)) {
        reason = "not a certificate";
        return kBadCertificateInvalid;
    }
    const auto leafInfo = ReadCertificate(certificates.front());
    if (!leafInfo) {
        reason = "not a certificate";
        return kBadCertificateInvalid;
    }
    if (!leafInfo->applicationKeyUsage || leafInfo->authority) {
        reason = "key usage of a CA or without digital signature and encipherment";
        return kBadCertificateUseNotAllowed;
    }

    std::unique_ptr<X509_STORE, StoreFree> store(X509_STORE_new());
    std::unique_ptr<STACK_OF(X509), StackFree> untrusted(sk_X509_new_null());
    if (!store || !untrusted) return kBadInternalError;
    const std::string leafBytes(reinterpret_cast<const char*>(certificates.front().data()),
                                certificates.front().size());
    const auto load = [&](const std::string& sub, bool trusted) {
        const std::string path = directory_ + "/" + sub;
        for (const auto& name : files_.List(path)) {
            std::string bytes;
            if (!files_.Read(path + "/" + name, bytes)) continue;
            if (sub.ends_with("crl")) {
                X509_CRL* crl = ParseCrl(bytes);
                if (crl != nullptr) {
                    X509_STORE_add_crl(store.get(), crl);
                    X509_CRL_free(crl);
                }
                continue;
            }
            X509Ptr certificate = ParseCertificate(bytes);
            if (!certificate) continue;
            if (trusted) {
                if (bytes == leafBytes) trustedItself = true;
                X509_STORE_add_cert(store.get(), certificate.get());
            } else if (sk_X509_push(untrusted.get(), certificate.get()) > 0) {
                certificate.release();
            }
        }
    };
    load("trusted/certs", true);
    load("trusted/crl", true);
    load("issuers/certs", false);
    load("issuers/crl", false);

    for (std::size_t i = 1; i < certificates.size(); ++i) {
        const std::string_view bytes(reinterpret_cast<const char*>(certificates[i].data()),
                                     certificates[i].size());
        X509Ptr certificate = ParseCertificate(bytes);
        if (certificate && sk_X509_push(untrusted.get(), certificate.get()) > 0) {
            certificate.release();
        }
    }
    for (const ByteView certificate : certificates) {
        const auto info = ReadCertificate(certificate);
        if (!info || info->keyBits < policy.minAsymmetricKeyBits ||
            info->keyBits > policy.maxAsymmetricKeyBits) {
            reason = "key length outside the policy's bounds";
            return kBadSecurityChecksFailed;
        }
    }

    X509Ptr leaf = ParseCertificate(leafBytes);
    std::unique_ptr<X509_STORE_CTX, StoreCtxFree> ctx(X509_STORE_CTX_new());
    if (!leaf || !ctx ||
        X509_STORE_CTX_init(ctx.get(), store.get(), leaf.get(), untrusted.get()) != 1) {
        return kBadInternalError;
    }
    X509_VERIFY_PARAM* param = X509_STORE_CTX_get0_param(ctx.get());
    X509_VERIFY_PARAM_set_time(param, static_cast<time_t>(UnixSeconds(clock_.NowUtc())));
    X509_VERIFY_PARAM_set_depth(param, kMaxChainDepth);
    // A certificate trusted itself needs no CA; CA-issued ones are checked against their
    // CAs' revocation lists, which a CA must publish.
    unsigned long flags = X509_V_FLAG_PARTIAL_CHAIN;
    if (!leafInfo->selfSigned) flags |= X509_V_FLAG_CRL_CHECK | X509_V_FLAG_CRL_CHECK_ALL;
    X509_VERIFY_PARAM_set_flags(param, flags);
    if (X509_verify_cert(ctx.get()) == 1) return kGood;
    const int error = X509_STORE_CTX_get_error(ctx.get());
    reason = X509_verify_cert_error_string(error);
    return FromVerifyError(error, X509_STORE_CTX_get_error_depth(ctx.get()));
}

void TrustList::Refused(ByteView leaf, StatusCode status, const std::string& reason,
                        bool trustedItself) {
    const auto info = ReadCertificate(leaf);
    if (!info) return;
    if (!trustedItself) {
        const std::string path = directory_ + "/rejected/certs/" + RejectedName(*info);
        if (!files_.Exists(path)) {
            files_.CreateDirectories(directory_ + "/rejected/certs", Access::kPublic);
            files_.Write(path,
                         std::string_view(reinterpret_cast<const char*>(leaf.data()), leaf.size()),
                         Access::kPublic);
        }
    }
    const std::uint32_t now = clock_.TickCount();
    if (traced_.size() > 1000) {
        for (auto it = traced_.begin(); it != traced_.end();) {
            it = now - it->second >= kTraceIntervalMs ? traced_.erase(it) : std::next(it);
        }
    }
    const auto last = traced_.find(info->thumbprint);
    if (last != traced_.end() && now - last->second < kTraceIntervalMs) return;
    traced_[info->thumbprint] = now;
    trace_("OPC UA client certificate " + info->subject + " [" + Hex(info->thumbprint) +
           "] refused: " + std::string(StatusCodeName(status)) + " (" + reason + ")");
}

StatusCode CheckApplicationUri(ByteView certificate, std::string_view applicationUri) {
    const auto info = ReadCertificate(certificate);
    if (!info || info->applicationUri.empty() || info->applicationUri != applicationUri) {
        return kBadCertificateUriInvalid;
    }
    return kGood;
}

}  // namespace velk::ua::security
