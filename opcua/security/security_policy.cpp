// The security policy table.
#include "opcua/security/security_policy.h"

#include <array>

namespace velk::ua::security {

namespace {

using Sig = AsymmetricSignature;
using Enc = AsymmetricEncryption;

constexpr std::string_view kOaepSha1Uri = "http://www.w3.org/2001/04/xmlenc#rsa-oaep";
constexpr std::string_view kOaepSha256Uri =
    "http://opcfoundation.org/UA/security/rsa-oaep-sha2-256";

constexpr std::array kPolicies{
    SecurityPolicy{"None", "http://opcfoundation.org/UA/SecurityPolicy#None", Sig::kNone,
                   Enc::kNone, 0, 0, 0, 1, 0, 0, 0, ""},
    SecurityPolicy{"Basic256Sha256", "http://opcfoundation.org/UA/SecurityPolicy#Basic256Sha256",
                   Sig::kRsaPkcs1Sha256, Enc::kRsaOaepSha1, 32, 32, 32, 16, 32, 2048, 4096,
                   kOaepSha1Uri},
    SecurityPolicy{
        "Aes128_Sha256_RsaOaep", "http://opcfoundation.org/UA/SecurityPolicy#Aes128_Sha256_RsaOaep",
        Sig::kRsaPkcs1Sha256, Enc::kRsaOaepSha1, 16, 32, 32, 16, 32, 2048, 4096, kOaepSha1Uri},
    SecurityPolicy{
        "Aes256_Sha256_RsaPss", "http://opcfoundation.org/UA/SecurityPolicy#Aes256_Sha256_RsaPss",
        Sig::kRsaPssSha256, Enc::kRsaOaepSha256, 32, 32, 32, 16, 32, 2048, 4096, kOaepSha256Uri},
};

}  // namespace

std::span<const SecurityPolicy> SecurityPolicies() { return kPolicies; }

const SecurityPolicy* FindSecurityPolicy(std::string_view uri) {
    for (const auto& policy : kPolicies) {
        if (policy.uri == uri) return &policy;
    }
    return nullptr;
}

const SecurityPolicy& NonePolicy() { return kPolicies[0]; }

}  // namespace velk::ua::security
