#pragma once
// The server's application instance certificate: read from <PkiDirectory>/own/certs/ and
// own/private/ when both are there and belong together, else made (RSA 2048, SHA-256, the
// application URI and the host's DNS name in its subjectAltName) and stored, the private key
// readable by the server's user only.
#include <cstdint>
#include <memory>
#include <string>

#include "opcua/security/server_channel_security.h"
#include "platform/protected_files.h"

namespace velk::ua::security {

inline constexpr std::string_view kOwnCertificateFile = "own/certs/velk_ModbusOPCServer.der";
inline constexpr std::string_view kOwnPrivateKeyFile = "own/private/velk_ModbusOPCServer.pem";

// "urn:<host name>:velk:ModbusOPCServer"
std::string ServerApplicationUri(const std::string& hostName);

struct OwnCertificateOptions {
    std::string pkiDirectory;
    std::string hostName;
    // The time now, seconds since 1970 (UTC); a made certificate starts a day before it (for
    // peers whose clock is behind) and lasts validityDays.
    std::int64_t now = 0;
    unsigned keyBits = 2048;
    unsigned validityDays = 5 * 365;
};

// The certificate and key; null with the reason in error when they can neither be read nor
// made and stored.
std::shared_ptr<const OwnCertificate> LoadOrCreateOwnCertificate(
    IProtectedFiles& files, const OwnCertificateOptions& options, std::string& error);

}  // namespace velk::ua::security
