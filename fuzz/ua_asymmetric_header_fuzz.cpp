// Fuzz target of what a client's OpenSecureChannel brings before any key is used: the
// asymmetric security header, the certificate chain in it and the certificates themselves.
// The input is taken as an OPN chunk and, on its own, as a certificate. Nothing may crash,
// and every view the header parser gives must lie inside the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "opcua/security/certificate.h"
#include "opcua/security/server_channel_security.h"

namespace {

using namespace velk::ua;
using namespace velk::ua::security;

std::shared_ptr<const OwnCertificate> ServerCertificate() {
    static const auto own = [] {
        auto certificate = std::make_shared<OwnCertificate>();
        certificate->privateKey = GenerateRsaKey(2048);
        CertificateRequest request;
        request.commonName = "fuzz";
        request.applicationUri = "urn:fuzz";
        request.notAfter = 4'000'000'000;
        certificate->der = MakeCertificate(request, certificate->privateKey.get());
        certificate->thumbprint = Sha1(certificate->der);
        return certificate;
    }();
    return own;
}

bool Inside(ByteView part, ByteView whole) {
    return part.empty() || (part.data() >= whole.data() &&
                            part.data() + part.size() <= whole.data() + whole.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ByteView input(data, size);
    AsymmetricChunkHeader header;
    if (ParseAsymmetricChunkHeader(input, header) == kGood) {
        if (!Inside(header.senderCertificate, input) || !Inside(header.receiverThumbprint, input) ||
            header.prefixLength > size) {
            std::abort();
        }
        std::vector<ByteView> chain;
        if (SplitCertificateChain(header.senderCertificate, chain)) {
            for (const ByteView certificate : chain) {
                if (!Inside(certificate, header.senderCertificate)) std::abort();
                (void)ReadCertificate(certificate);
            }
        }
    }
    (void)ReadCertificate(input);

    ServerSecurityOptions options;
    for (const auto& policy : SecurityPolicies()) {
        if (policy.secured()) options.policies.push_back(&policy);
    }
    options.certificate = ServerCertificate();
    options.checkCertificate = [](const SecurityPolicy&, ByteView) { return kGood; };
    ServerChannelSecurity security(std::move(options));
    std::vector<std::uint8_t> plain;
    if (security.OpenAsymmetricChunk(input, plain) == kGood && plain.size() > size + 64) {
        std::abort();
    }
    return 0;
}
