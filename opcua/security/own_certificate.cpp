// Loading or making the server's own certificate.
#include "opcua/security/own_certificate.h"

#include <openssl/evp.h>
#include <openssl/x509.h>

#include "opcua/security/certificate.h"

namespace velk::ua::security {

namespace {

using Access = IProtectedFiles::Access;

std::string Join(const std::string& directory, std::string_view file) {
    return directory + "/" + std::string(file);
}

// The private key belongs to the certificate when the certificate holds its public half.
bool Matches(ByteView der, EVP_PKEY* key) {
    PKey certificateKey = PublicKeyOfCertificate(der);
    return certificateKey && EVP_PKEY_eq(certificateKey.get(), key) == 1;
}

}  // namespace

std::string ServerApplicationUri(const std::string& hostName) {
    return "urn:" + hostName + ":velk:ModbusOPCServer";
}

std::shared_ptr<const OwnCertificate> LoadOrCreateOwnCertificate(
    IProtectedFiles& files, const OwnCertificateOptions& options, std::string& error) {
    const std::string certificatePath = Join(options.pkiDirectory, kOwnCertificateFile);
    const std::string keyPath = Join(options.pkiDirectory, kOwnPrivateKeyFile);
    auto own = std::make_shared<OwnCertificate>();
    std::string der, pem;
    if (files.Read(certificatePath, der) && files.Read(keyPath, pem)) {
        own->der.assign(der.begin(), der.end());
        own->privateKey = PrivateKeyFromPem(pem);
        if (own->privateKey && ReadCertificate(own->der) &&
            Matches(own->der, own->privateKey.get())) {
            own->thumbprint = Sha1(own->der);
            return own;
        }
    }

    own->privateKey = GenerateRsaKey(options.keyBits);
    if (!own->privateKey) {
        error = "no RSA key could be made";
        return nullptr;
    }
    CertificateRequest request;
    request.commonName = "velk ModbusOPCServer@" + options.hostName;
    request.organization = "velk";
    request.applicationUri = ServerApplicationUri(options.hostName);
    request.dnsNames = {options.hostName};
    request.notBefore = options.now - 86400;
    request.notAfter = options.now + std::int64_t{options.validityDays} * 86400;
    Bytes serial(8);
    RandomBytes(serial);
    request.serialNumber = 0;
    for (const auto byte : serial) request.serialNumber = request.serialNumber << 8 | byte;
    request.serialNumber &= 0x7FFFFFFFFFFFFFFFull;
    own->der = MakeCertificate(request, own->privateKey.get());
    pem = PrivateKeyToPem(own->privateKey.get());
    if (own->der.empty() || pem.empty()) {
        error = "the certificate could not be made";
        return nullptr;
    }
    if (!files.CreateDirectories(Join(options.pkiDirectory, "own/certs"), Access::kPublic) ||
        !files.CreateDirectories(Join(options.pkiDirectory, "own/private"), Access::kPrivate) ||
        !files.Write(keyPath, pem, Access::kPrivate) ||
        !files.Write(
            certificatePath,
            std::string_view(reinterpret_cast<const char*>(own->der.data()), own->der.size()),
            Access::kPublic)) {
        error = "the certificate could not be stored in " + options.pkiDirectory + "/own";
        return nullptr;
    }
    own->thumbprint = Sha1(own->der);
    return own;
}

}  // namespace velk::ua::security
