#pragma once
// X.509 certificates as UA applications use them: made (the server's own, and a test's CA
// and clients), and read (the application URI of the subjectAltName, validity, key usage).
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "opcua/security/crypto.h"

namespace velk::ua::security {

struct CertificateRequest {
    std::string commonName;
    std::string organization;
    // The subjectAltName: the application URI and DNS names; empty for a CA.
    std::string applicationUri;
    std::vector<std::string> dnsNames;
    // Validity, seconds since 1970 (UTC).
    std::int64_t notBefore = 0;
    std::int64_t notAfter = 0;
    std::uint64_t serialNumber = 1;
    // A certificate authority (keyCertSign, cRLSign) instead of an application instance
    // certificate (digitalSignature, nonRepudiation, keyEncipherment, dataEncipherment,
    // server and client authentication).
    bool authority = false;
};

// A certificate (DER) of subjectKey, signed with SHA-256 by issuerKey under issuerDer's
// name, or self-signed when issuerDer is empty. Empty on failure.
Bytes MakeCertificate(const CertificateRequest& request, EVP_PKEY* subjectKey,
                      EVP_PKEY* issuerKey = nullptr, ByteView issuerDer = {});

// What the server reads of a certificate.
struct CertificateInfo {
    std::string subject;  // one line, "CN=..., O=..."
    std::string applicationUri;
    std::vector<std::string> dnsNames;
    std::int64_t notBefore = 0;
    std::int64_t notAfter = 0;
    std::size_t keyBits = 0;
    bool selfSigned = false;
    bool authority = false;
    // Key usage bits present and required by UA for an application: digitalSignature,
    // nonRepudiation, keyEncipherment, dataEncipherment (or no key usage extension).
    bool applicationKeyUsage = false;
    Bytes thumbprint;  // SHA-1 of the DER
};
// Null when der is not one whole certificate.
std::optional<CertificateInfo> ReadCertificate(ByteView der);

// The PEM text of a private key (PKCS#8, unencrypted) and back; empty/null on failure.
std::string PrivateKeyToPem(EVP_PKEY* key);
PKey PrivateKeyFromPem(const std::string& pem);

}  // namespace velk::ua::security
