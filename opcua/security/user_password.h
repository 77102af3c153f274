#pragma once
// User passwords: stored as salted scrypt hashes (memory-hard, never the password itself),
// checked in constant time; and the password of a UserNameIdentityToken, decrypted as its
// token policy says.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "opcua/security/crypto.h"
#include "opcua/status_codes.h"

namespace velk::ua::security {

struct ScryptCost {
    std::uint64_t n = 1u << 15;  // 32 MiB with r = 8
    std::uint32_t r = 8;
    std::uint32_t p = 1;
};

// "scrypt$<N>$<r>$<p>$<salt hex>$<hash hex>" of the password with a fresh 16-byte salt;
// empty when the random source or scrypt fails.
std::string HashPassword(std::string_view password, const ScryptCost& cost = {});

// Whether password matches a stored hash. A stored text that is not such a hash, or whose
// cost is beyond what this server would make, matches nothing. With no stored hash (an
// unknown user) the same work is done against a fixed one, so that the answer takes as long
// whether the user exists or not.
bool VerifyPassword(std::string_view password, const std::string* stored);

// The password of a UserNameIdentityToken. With a secured token policy, encryptionAlgorithm
// must name its asymmetric encryption and the secret is decrypted with the server's key: a
// four-byte length, the password, then the server nonce of the session, which must match.
// With the None token policy the password comes in clear. BadIdentityTokenInvalid otherwise.
StatusCode DecryptUserPassword(const SecurityPolicy& tokenPolicy,
                               std::string_view encryptionAlgorithm, ByteView secret,
                               EVP_PKEY* serverKey, ByteView serverNonce, std::string& password);

}  // namespace velk::ua::security
