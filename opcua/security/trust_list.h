#pragma once
// The trust decision on client certificates, from the directories of the PKI:
//   trusted/certs, trusted/crl    certificates trusted themselves, or CAs whose certificates
//                                 are trusted, and the CAs' revocation lists
//   issuers/certs, issuers/crl    CAs that may complete a chain but are not trusted alone
//   rejected/certs                a copy of each refused client certificate, for the
//                                 administrator to move to trusted/certs
// The directories are read at each check, so a file moved takes effect at the next
// connection without a restart.
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "opcua/security/crypto.h"
#include "opcua/status_codes.h"
#include "platform/clock.h"
#include "platform/protected_files.h"

namespace velk::ua::security {

class TrustList {
  public:
    using TraceSink = std::function<void(std::string_view)>;
    // trace: where refusals are reported (the server's trace when null).
    TrustList(IProtectedFiles& files, const IClock& clock, std::string pkiDirectory,
              TraceSink trace = nullptr);

    // Makes the directories that are missing; false when one cannot be made.
    bool CreateLayout();

    // Checks a client's certificate chain (its certificate first, then issuers it sent) for a
    // policy: validity, the chain to a trusted certificate or CA, revocation, key usage and
    // key lengths. A refused certificate not yet trusted is copied to rejected/certs; each
    // refusal is traced once per certificate and minute.
    StatusCode Check(const SecurityPolicy& policy, ByteView chain);

  private:
    StatusCode Verify(const SecurityPolicy& policy, ByteView chain, std::string& reason,
                      bool& trustedItself);
    void Refused(ByteView leaf, StatusCode status, const std::string& reason, bool trustedItself);

    IProtectedFiles& files_;
    const IClock& clock_;
    const std::string directory_;
    TraceSink trace_;
    // When each certificate's refusal was last traced (tick count), by thumbprint.
    std::map<Bytes, std::uint32_t> traced_;
};

// The application URI of a certificate against the one of the client's application
// description: BadCertificateUriInvalid when they differ or the certificate has none.
StatusCode CheckApplicationUri(ByteView certificate, std::string_view applicationUri);

}  // namespace velk::ua::security
