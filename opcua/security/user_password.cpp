// scrypt hashes and user token secrets.
#include "opcua/security/user_password.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <charconv>
#include <vector>

namespace velk::ua::security {

namespace {

constexpr std::size_t kSaltLength = 16;
constexpr std::size_t kHashLength = 32;
// The most a stored hash may ask: 128 MiB of memory.
constexpr std::uint64_t kMaxMemory = 128u << 20;

std::string ToHex(ByteView bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (const auto b : bytes) {
        text += kDigits[b >> 4];
        text += kDigits[b & 15];
    }
    return text;
}

bool FromHex(std::string_view text, Bytes& bytes) {
    if (text.size() % 2 != 0) return false;
    bytes.clear();
    for (std::size_t i = 0; i < text.size(); i += 2) {
        std::uint8_t value = 0;
        const auto [end, error] = std::from_chars(text.data() + i, text.data() + i + 2, value, 16);
        if (error != std::errc() || end != text.data() + i + 2) return false;
        bytes.push_back(value);
    }
    return true;
}

bool Scrypt(std::string_view password, ByteView salt, const ScryptCost& cost, Bytes& hash) {
    hash.assign(kHashLength, 0);
    return EVP_PBE_scrypt(password.data(), password.size(), salt.data(), salt.size(), cost.n,
                          cost.r, cost.p, kMaxMemory + (1u << 20), hash.data(), hash.size()) == 1;
}

bool Affordable(const ScryptCost& cost) {
    const bool powerOfTwo = cost.n >= 2 && (cost.n & (cost.n - 1)) == 0;
    return powerOfTwo && cost.r >= 1 && cost.r <= 32 && cost.p >= 1 && cost.p <= 4 &&
           128ull * cost.n * cost.r * cost.p <= kMaxMemory;
}

struct Stored {
    ScryptCost cost;
    Bytes salt;
    Bytes hash;
};

std::optional<Stored> Parse(std::string_view text) {
    std::vector<std::string_view> parts;
    for (std::size_t at = 0;;) {
        const std::size_t dollar = text.find('$', at);
        parts.push_back(text.substr(at, dollar == std::string_view::npos ? dollar : dollar - at));
        if (dollar == std::string_view::npos) break;
        at = dollar + 1;
    }
    Stored stored;
    const auto number = [](std::string_view part, auto& value) {
        const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), value);
        return error == std::errc() && end == part.data() + part.size();
    };
    if (parts.size() != 6 || parts[0] != "scrypt" || !number(parts[1], stored.cost.n) ||
        !number(parts[2], stored.cost.r) || !number(parts[3], stored.cost.p) ||
        !FromHex(parts[4], stored.salt) || !FromHex(parts[5], stored.hash) ||
        stored.salt.size() < 8 || stored.hash.size() != kHashLength || !Affordable(stored.cost)) {
        return std::nullopt;
    }
    return stored;
}

}  // namespace

std::string HashPassword(std::string_view password, const ScryptCost& cost) {
    if (!Affordable(cost)) return {};
    Bytes salt(kSaltLength), hash;
    if (!RandomBytes(salt) || !Scrypt(password, salt, cost, hash)) return {};
    return "scrypt$" + std::to_string(cost.n) + "$" + std::to_string(cost.r) + "$" +
           std::to_string(cost.p) + "$" + ToHex(salt) + "$" + ToHex(hash);
}

bool VerifyPassword(std::string_view password, const std::string* stored) {
    static const Bytes kDummySalt(kSaltLength, 0x5C);
    const auto parsed = stored ? Parse(*stored) : std::nullopt;
    const ScryptCost cost = parsed ? parsed->cost : ScryptCost{};
    Bytes hash;
    const bool computed =
        Scrypt(password, parsed ? ByteView(parsed->salt) : kDummySalt, cost, hash);
    return computed && parsed && ConstantTimeEqual(hash, parsed->hash);
}

StatusCode DecryptUserPassword(const SecurityPolicy& tokenPolicy,
                               std::string_view encryptionAlgorithm, ByteView secret,
                               EVP_PKEY* serverKey, ByteView serverNonce, std::string& password) {
    password.clear();
    if (!tokenPolicy.secured()) {
        if (!encryptionAlgorithm.empty()) return kBadIdentityTokenInvalid;
        password.assign(secret.begin(), secret.end());
        return kGood;
    }
    if (encryptionAlgorithm != tokenPolicy.asymmetricEncryptionUri || serverNonce.empty()) {
        return kBadIdentityTokenInvalid;
    }
    Bytes plain;
    if (!RsaDecrypt(tokenPolicy.asymmetricEncryption, serverKey, secret, plain) ||
        plain.size() < 4) {
        return kBadIdentityTokenInvalid;
    }
    const std::size_t length = static_cast<std::size_t>(plain[0]) | std::size_t{plain[1]} << 8 |
                               std::size_t{plain[2]} << 16 | std::size_t{plain[3]} << 24;
    StatusCode status = kGood;
    if (length > plain.size() - 4 || length < serverNonce.size()) {
        status = kBadIdentityTokenInvalid;
    } else {
        const ByteView nonce =
            ByteView(plain).subspan(4 + length - serverNonce.size(), serverNonce.size());
        if (!ConstantTimeEqual(nonce, serverNonce)) {
            status = kBadIdentityTokenInvalid;
        } else {
            password.assign(plain.begin() + 4, plain.begin() + 4 + length - serverNonce.size());
        }
    }
    OPENSSL_cleanse(plain.data(), plain.size());
    return status;
}

}  // namespace velk::ua::security
