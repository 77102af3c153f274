// The secure channel with message security: a client written here from the chunk layout opens
// channels of every policy and mode, exchanges requests and responses, and is refused for a
// tampered, truncated or replayed chunk, a wrong nonce, an unknown policy or certificate.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <filesystem>
#include <functional>
#include <string>

#include "opcua/chunk_reader.h"
#include "opcua/security/certificate.h"
#include "opcua/security/chunk_protection.h"
#include "opcua/security/server_channel_security.h"
#include "opcua/security/trust_list.h"
#include "opcua/server_secure_channel.h"
#include "opcua/ua_tcp_messages.h"
#include "platform/linux/posix_protected_files.h"
#include "tests/support/fake_clock.h"

namespace velk::ua::security {
namespace {

constexpr std::uint32_t kChannelId = 9;
constexpr std::int64_t kNow = 1'780'000'000;

struct Party {
    PKey key;
    Bytes der;
};

Party MakeParty(unsigned bits, const std::string& uri) {
    Party party;
    party.key = GenerateRsaKey(bits);
    CertificateRequest request;
    request.commonName = uri;
    request.applicationUri = uri;
    request.notBefore = kNow - 3600;
    request.notAfter = kNow + 86400;
    party.der = MakeCertificate(request, party.key.get());
    return party;
}

// Keys are slow to make: each suite makes its few once.
struct Keys {
    Party server2048 = MakeParty(2048, "urn:server");
    Party client2048 = MakeParty(2048, "urn:client");
    Party big3072 = MakeParty(3072, "urn:big");
    Party small1024 = MakeParty(1024, "urn:small");
};
Keys& SharedKeys() {
    static Keys keys;
    return keys;
}

const SecurityPolicy& Policy(std::string_view name) {
    for (const auto& policy : SecurityPolicies()) {
        if (policy.name == name) return policy;
    }
    std::abort();
}

struct SecureClient {
    SecureClient(const SecurityPolicy& policy, MessageSecurityMode mode, const Party& server,
                 const Party& client, CertificateCheck check = nullptr)
        : policy_(policy), mode_(mode), server_(server), client_(client) {
        ServerSecurityOptions options;
        for (const auto& p : SecurityPolicies()) {
            if (p.secured()) options.policies.push_back(&p);
        }
        auto own = std::make_shared<OwnCertificate>();
        own->der = server.der;
        own->privateKey = PrivateKeyFromPem(PrivateKeyToPem(server.key.get()));
        own->thumbprint = Sha1(server.der);
        options.certificate = own;
        options.checkCertificate =
            check ? check : [](const SecurityPolicy&, ByteView) { return kGood; };
        channel_.emplace(clock_, kChannelId, SecureChannelSettings{},
                         std::make_unique<ServerChannelSecurity>(std::move(options)));
        clientNonce_.resize(policy.nonceLength);
        RandomBytes(clientNonce_);
    }

    void Hello(std::uint32_t buffer = 65535) {
        channel_->OnReceived(
            EncodeMessage(HelloMessage{0, buffer, buffer, 0, 0, "opc.tcp://h:4840"}));
        channel_->TakeOutput();
    }

    Bytes OpenChunk(std::string_view uri, const Bytes& thumbprint) {
        OpenSecureChannelRequest request;
        request.requestType =
            renew_ ? SecurityTokenRequestType::kRenew : SecurityTokenRequestType::kIssue;
        request.securityMode = mode_;
        request.clientNonce.bytes = clientNonce_;
        request.requestedLifetime = 60'000;
        const Bytes body = EncodeServiceMessage(request);
        Bytes chunk;
        AppendMessageHeader(chunk, MessageType::kOpenSecureChannel, ChunkType::kFinal);
        BinaryWriter w;
        w.WriteUInt32(renew_ ? kChannelId : 0);
        Encode(w, std::string(uri));
        Encode(w, ByteString{client_.der});
        Encode(w, ByteString{thumbprint});
        const std::size_t prefix = kMessageHeaderSize + w.Size();
        w.WriteUInt32(sequence_++);
        w.WriteUInt32(1);
        w.WriteBytes(body);
        chunk.insert(chunk.end(), w.Bytes().begin(), w.Bytes().end());
        const AsymmetricProtection protection(policy_, client_.key.get(), server_.key.get());
        EXPECT_TRUE(SealChunk(protection, chunk, 0, prefix));
        return chunk;
    }
    Bytes OpenChunk() { return OpenChunk(policy_.uri, Sha1(server_.der)); }

    std::vector<Chunk> Replies() {
        ChunkReader reader(1u << 20);
        reader.Append(channel_->TakeOutput());
        std::vector<Chunk> chunks;
        Chunk chunk;
        StatusCode status;
        while (reader.Next(chunk, status)) chunks.push_back(chunk);
        return chunks;
    }

    // The OpenSecureChannel response, opened; the keys derived from it.
    void ReadOpenResponse() {
        const auto chunks = Replies();
        ASSERT_EQ(chunks.size(), 1u);
        ASSERT_EQ(chunks[0].header.type, MessageType::kOpenSecureChannel);
        AsymmetricChunkHeader header;
        ASSERT_EQ(ParseAsymmetricChunkHeader(chunks[0].bytes, header), kGood);
        EXPECT_EQ(header.securityPolicyUri, policy_.uri);
        EXPECT_TRUE(std::ranges::equal(header.receiverThumbprint, Sha1(client_.der)));
        EXPECT_TRUE(std::ranges::equal(header.senderCertificate, server_.der));
        const AsymmetricProtection protection(policy_, server_.key.get(), client_.key.get());
        Bytes plain;
        ASSERT_EQ(security::OpenChunk(protection, chunks[0].bytes, header.prefixLength, plain),
                  kGood);
        SecureChunk parsed;
        ASSERT_EQ(ParseSecureChunk(plain, parsed), kGood);
        BinaryReader r(parsed.body);
        NodeId typeId;
        OpenSecureChannelResponse response;
        Decode(r, typeId);
        Decode(r, response);
        ASSERT_TRUE(r.Ok());
        EXPECT_EQ(response.serverNonce.bytes.size(), policy_.nonceLength);
        keys_ = DeriveChannelKeys(policy_, clientNonce_, response.serverNonce.bytes);
        rawOpenResponse_ = chunks[0].bytes;
    }

    void Handshake(std::uint32_t buffer = 65535) {
        Hello(buffer);
        channel_->OnReceived(OpenChunk());
        ASSERT_EQ(channel_->state(), ServerSecureChannel::State::kOpen) << channel_->closeText();
        ReadOpenResponse();
    }

    bool Encrypts() const { return mode_ == MessageSecurityMode::kSignAndEncrypt; }

    Bytes MessageChunk(const Bytes& body, std::uint32_t tokenId = 1) {
        Bytes chunk;
        AppendSecureChunk(chunk, MessageType::kMessage, ChunkType::kFinal, kChannelId, tokenId,
                          sequence_++, 5, body);
        const SymmetricProtection protection(keys_.client, Encrypts());
        EXPECT_TRUE(SealChunk(protection, chunk, 0, 16));
        return chunk;
    }

    // The bodies of the server's MSG chunks, opened.
    Bytes ResponseBody() {
        Bytes body;
        for (const auto& chunk : Replies()) {
            const SymmetricProtection protection(keys_.server, Encrypts());
            Bytes plain;
            EXPECT_EQ(security::OpenChunk(protection, chunk.bytes, 16, plain), kGood);
            EXPECT_LE(chunk.bytes.size(), channel_->limits().sendBufferSize);
            SecureChunk parsed;
            EXPECT_EQ(ParseSecureChunk(plain, parsed), kGood);
            body.insert(body.end(), parsed.body.begin(), parsed.body.end());
        }
        return body;
    }

    const SecurityPolicy& policy_;
    MessageSecurityMode mode_;
    const Party& server_;
    const Party& client_;
    testing::FakeClock clock_;
    std::optional<ServerSecureChannel> channel_;
    Bytes clientNonce_;
    ChannelKeys keys_;
    Bytes rawOpenResponse_;
    std::uint32_t sequence_ = 1;
    bool renew_ = false;
};

// A request of a type id and some bytes, as the services would send it.
Bytes Request(std::size_t size) {
    Bytes body = {0x01, 0x00, 0x77, 0x01};  // NodeId ns=0;i=375
    for (std::size_t i = 0; i < size; ++i) body.push_back(static_cast<std::uint8_t>(i * 7));
    return body;
}

TEST(ChannelSecurity, EveryPolicyAndModeCarriesRequestsAndChunkedResponses) {
    for (const auto& policy : SecurityPolicies()) {
        if (!policy.secured()) continue;
        for (const auto mode : {MessageSecurityMode::kSign, MessageSecurityMode::kSignAndEncrypt}) {
            SCOPED_TRACE(std::string(policy.name) +
                         (mode == MessageSecurityMode::kSign ? " Sign" : " SAE"));
            SecureClient t(policy, mode, SharedKeys().server2048, SharedKeys().client2048);
            t.Handshake(8192);
            const Bytes request = Request(3000);
            t.channel_->OnReceived(t.MessageChunk(request));
            auto requests = t.channel_->TakeRequests();
            ASSERT_EQ(requests.size(), 1u) << t.channel_->closeText();
            EXPECT_EQ(requests[0].body, Bytes(request.begin() + 4, request.end()));
            const Bytes response = Request(30'000);
            ASSERT_EQ(t.channel_->SendResponse(requests[0].requestId, response), kGood);
            EXPECT_EQ(t.ResponseBody(), response);
        }
    }
}

// The wire layout read with OpenSSL alone: AES-CBC over sequence header, body, padding,
// padding size and HMAC, keys from OpenSSL's TLS PRF.
TEST(ChannelSecurity, ServerMessagesDecryptWithPlainOpenSsl) {
    SecureClient t(Policy("Aes128_Sha256_RsaOaep"), MessageSecurityMode::kSignAndEncrypt,
                   SharedKeys().server2048, SharedKeys().client2048);
    t.Handshake();
    t.channel_->OnReceived(t.MessageChunk(Request(10)));
    ASSERT_EQ(t.channel_->TakeRequests().size(), 1u);
    const Bytes response = Request(100);
    ASSERT_EQ(t.channel_->SendResponse(5, response), kGood);
    const auto chunks = t.Replies();
    ASSERT_EQ(chunks.size(), 1u);
    Bytes wire = chunks[0].bytes;
    ASSERT_EQ((wire.size() - 16) % 16, 0u);
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    int length = 0;
    ASSERT_EQ(
        EVP_DecryptInit_ex(ctx, EVP_aes_128_cbc(), nullptr, t.keys_.server.encryptingKey.data(),
                           t.keys_.server.initializationVector.data()),
        1);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    Bytes plain(wire.size() - 16);
    EVP_DecryptUpdate(ctx, plain.data(), &length, wire.data() + 16, static_cast<int>(plain.size()));
    EVP_CIPHER_CTX_free(ctx);
    Bytes whole(wire.begin(), wire.begin() + 16);
    whole.insert(whole.end(), plain.begin(), plain.end());
    unsigned char mac[32];
    unsigned int macLength = 0;
    HMAC(EVP_sha256(), t.keys_.server.signingKey.data(), 32, whole.data(), whole.size() - 32, mac,
         &macLength);
    EXPECT_TRUE(std::equal(mac, mac + 32, whole.end() - 32));
    const std::size_t end = whole.size() - 32 - 1;  // the padding size byte
    const std::uint8_t padding = whole[end];
    EXPECT_EQ(16 + 8 + response.size() + padding + 1 + 32, whole.size());
    for (std::size_t i = end - padding; i < end; ++i) EXPECT_EQ(whole[i], padding);
    EXPECT_TRUE(std::equal(response.begin(), response.end(), whole.begin() + 24));
}

// An OpenSecureChannel encrypted with a key over 2048 bits carries the padding size in two
// bytes; with 2048 bits in one.
TEST(ChannelSecurity, KeysOver2048BitsTakeTheExtraPaddingByte) {
    const auto& policy = Policy("Basic256Sha256");
    for (const bool bigClient : {true, false}) {
        SCOPED_TRACE(bigClient ? "client 3072" : "server 3072");
        const Party& server = bigClient ? SharedKeys().server2048 : SharedKeys().big3072;
        const Party& client = bigClient ? SharedKeys().big3072 : SharedKeys().client2048;
        SecureClient t(policy, MessageSecurityMode::kSignAndEncrypt, server, client);
        t.Handshake();
        AsymmetricChunkHeader header;
        ASSERT_EQ(ParseAsymmetricChunkHeader(t.rawOpenResponse_, header), kGood);
        Bytes plain;
        ASSERT_TRUE(RsaDecrypt(policy.asymmetricEncryption, client.key.get(),
                               ByteView(t.rawOpenResponse_).subspan(header.prefixLength), plain));
        const std::size_t end = plain.size() - KeyBytes(server.key.get());
        const std::size_t sizeBytes = bigClient ? 2 : 1;
        const std::size_t padding =
            plain[end - sizeBytes] | (bigClient ? std::size_t{plain[end - 1]} << 8 : 0);
        for (std::size_t i = end - sizeBytes - padding; i < end - sizeBytes; ++i) {
            ASSERT_EQ(plain[i], padding & 0xFF);
        }
        EXPECT_LT(padding, PlainBlockSize(policy.asymmetricEncryption, client.key.get()));
        EXPECT_EQ(plain.size() % PlainBlockSize(policy.asymmetricEncryption, client.key.get()), 0u);
    }
}

TEST(ChannelSecurity, RefusalsCloseTheChannelWithTheirCode) {
    const auto untrusted = [](const SecurityPolicy&, ByteView) { return kBadCertificateUntrusted; };
    struct Case {
        const char* name;
        std::function<void(SecureClient&)> act;
        StatusCode expected;
        const Party* client = nullptr;
        CertificateCheck check = nullptr;
    };
    const auto open = [](SecureClient& t, Bytes chunk) {
        t.Hello();
        t.channel_->OnReceived(chunk);
    };
    const auto message = [](SecureClient& t, const std::function<void(Bytes&)>& change) {
        t.Handshake();
        Bytes chunk = t.MessageChunk(Request(50));
        change(chunk);
        t.channel_->OnReceived(chunk);
    };
    const std::vector<Case> cases = {
        {"a tampered message byte",
         [&](SecureClient& t) { message(t, [](Bytes& c) { c[40] ^= 0x04; }); },
         kBadSecurityChecksFailed},
        {"a tampered signature byte",
         [&](SecureClient& t) { message(t, [](Bytes& c) { c.back() ^= 0x01; }); },
         kBadSecurityChecksFailed},
        {"a message cut by a block",
         [&](SecureClient& t) {
             message(t, [](Bytes& c) {
                 c.resize(c.size() - 16);
                 c[4] = static_cast<std::uint8_t>(c.size());
                 c[5] = static_cast<std::uint8_t>(c.size() >> 8);
             });
         },
         kBadSecurityChecksFailed},
        {"a replayed message",
         [&](SecureClient& t) {
             t.Handshake();
             const Bytes chunk = t.MessageChunk(Request(50));
             t.channel_->OnReceived(chunk);
             t.channel_->OnReceived(chunk);
         },
         kBadSequenceNumberInvalid},
        {"padding that does not match its size, though signed",
         [&](SecureClient& t) {
             message(t, [&t](Bytes& c) {
                 // Opened, one padding byte changed, signed and encrypted again.
                 const SymmetricProtection keys(t.keys_.client, true);
                 Bytes plain, signature, cipher;
                 ASSERT_TRUE(keys.Decrypt(ByteView(c).subspan(16), plain));
                 plain[plain.size() - 32 - 2] ^= 0x01;
                 plain.resize(plain.size() - 32);
                 Bytes whole(c.begin(), c.begin() + 16);
                 whole.insert(whole.end(), plain.begin(), plain.end());
                 ASSERT_TRUE(keys.Sign(whole, signature));
                 plain.insert(plain.end(), signature.begin(), signature.end());
                 ASSERT_TRUE(keys.Encrypt(plain, cipher));
                 c.resize(16);
                 c.insert(c.end(), cipher.begin(), cipher.end());
             });
         },
         kBadSecurityChecksFailed},
        {"a message under an unknown token",
         [&](SecureClient& t) { message(t, [](Bytes& c) { c[12] = 7; }); },
         kBadSecureChannelTokenUnknown},
        {"a client nonce of 16 bytes",
         [&](SecureClient& t) {
             t.clientNonce_.resize(16);
             open(t, t.OpenChunk());
         },
         kBadNonceInvalid},
        {"an unknown policy URI",
         [&](SecureClient& t) {
             open(t, t.OpenChunk("http://opcfoundation.org/UA/SecurityPolicy#Basic128Rsa15",
                                 Sha1(t.server_.der)));
         },
         kBadSecurityPolicyRejected},
        {"policy None while it is not allowed",
         [&](SecureClient& t) {
             t.Hello();
             Bytes chunk;
             AppendSecureChunk(chunk, MessageType::kOpenSecureChannel, ChunkType::kFinal, 0, 0, 1,
                               1, Request(10));
             t.channel_->OnReceived(chunk);
         },
         kBadSecurityPolicyRejected},
        {"a tampered OpenSecureChannel",
         [&](SecureClient& t) {
             Bytes chunk = t.OpenChunk();
             chunk[chunk.size() - 300] ^= 0x10;
             open(t, chunk);
         },
         kBadSecurityChecksFailed},
        {"another server's thumbprint",
         [&](SecureClient& t) { open(t, t.OpenChunk(t.policy_.uri, Bytes(20, 0xAB))); },
         kBadCertificateInvalid},
        {"mode None on a signing policy",
         [&](SecureClient& t) {
             t.mode_ = MessageSecurityMode::kNone;
             open(t, t.OpenChunk());
         },
         kBadSecurityModeRejected},
        {"an untrusted certificate", [&](SecureClient& t) { open(t, t.OpenChunk()); },
         kBadCertificateUntrusted, nullptr, untrusted},
        {"a 1024-bit client key", [&](SecureClient& t) { open(t, t.OpenChunk()); },
         kBadSecurityChecksFailed, &SharedKeys().small1024},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SecureClient t(Policy("Aes256_Sha256_RsaPss"), MessageSecurityMode::kSignAndEncrypt,
                       SharedKeys().server2048, c.client ? *c.client : SharedKeys().client2048,
                       c.check);
        c.act(t);
        EXPECT_EQ(t.channel_->state(), ServerSecureChannel::State::kClosed);
        EXPECT_EQ(t.channel_->closeReason(), c.expected)
            << StatusCodeName(t.channel_->closeReason());
        EXPECT_TRUE(t.channel_->TakeRequests().empty());
    }
}

// A renewal brings new keys; the old token's serve until the client uses the new one.
TEST(ChannelSecurity, ARenewalDerivesNewKeysAndTheOldTokenServesUntilTheNewIsUsed) {
    SecureClient t(Policy("Basic256Sha256"), MessageSecurityMode::kSignAndEncrypt,
                   SharedKeys().server2048, SharedKeys().client2048);
    t.Handshake();
    const ChannelKeys first = t.keys_;
    t.renew_ = true;
    RandomBytes(t.clientNonce_);
    t.channel_->OnReceived(t.OpenChunk());
    ASSERT_NO_FATAL_FAILURE(t.ReadOpenResponse());
    EXPECT_NE(t.keys_.client.signingKey, first.client.signingKey);
    const ChannelKeys second = t.keys_;
    t.keys_ = first;
    t.channel_->OnReceived(t.MessageChunk(Request(20), 1));
    ASSERT_EQ(t.channel_->TakeRequests().size(), 1u) << t.channel_->closeText();
    ASSERT_EQ(t.channel_->SendResponse(5, Request(20)), kGood);
    EXPECT_EQ(t.ResponseBody(), Request(20));
    t.keys_ = second;
    t.channel_->OnReceived(t.MessageChunk(Request(20), 2));
    ASSERT_EQ(t.channel_->TakeRequests().size(), 1u) << t.channel_->closeText();
    t.keys_ = first;
    t.channel_->OnReceived(t.MessageChunk(Request(20), 1));
    EXPECT_EQ(t.channel_->closeReason(), kBadSecureChannelTokenUnknown);
}

// The channel with the trust list of a real PKI directory: refused, found in rejected/certs,
// moved to trusted/certs, accepted at the next connection.
TEST(ChannelSecurity, AnUntrustedClientIsRejectedThenAcceptedOnceItsFileIsMoved) {
    namespace fs = std::filesystem;
    char pattern[] = "/tmp/velk_channel_pki_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string pki = pattern;
    PosixProtectedFiles files;
    testing::FakeClock clock(116444736000000000ull + kNow * 10'000'000ull);
    TrustList trust(files, clock, pki, [](std::string_view) {});
    ASSERT_TRUE(trust.CreateLayout());
    const auto check = [&trust](const SecurityPolicy& policy, ByteView chain) {
        return trust.Check(policy, chain);
    };
    const auto& policy = Policy("Aes128_Sha256_RsaOaep");
    {
        SecureClient t(policy, MessageSecurityMode::kSign, SharedKeys().server2048,
                       SharedKeys().client2048, check);
        t.Hello();
        t.channel_->OnReceived(t.OpenChunk());
        EXPECT_EQ(t.channel_->closeReason(), kBadCertificateUntrusted);
        // The client hears only that the security checks failed.
        const std::vector<std::uint8_t> out = t.channel_->TakeOutput();
        const std::string_view text(reinterpret_cast<const char*>(out.data()), out.size());
        const std::size_t error = text.rfind("ERRF");
        ASSERT_NE(error, std::string_view::npos);
        ErrorMessage sent;
        ASSERT_EQ(DecodeMessageBody(std::span(out).subspan(error + 8), sent), kGood);
        EXPECT_EQ(sent.error, kBadSecurityChecksFailed);
    }
    std::vector<fs::path> rejected;
    for (const auto& entry : fs::directory_iterator(pki + "/rejected/certs")) {
        rejected.push_back(entry.path());
    }
    ASSERT_EQ(rejected.size(), 1u);
    fs::rename(rejected[0], pki + "/trusted/certs/" + rejected[0].filename().string());
    {
        SecureClient t(policy, MessageSecurityMode::kSign, SharedKeys().server2048,
                       SharedKeys().client2048, check);
        t.Handshake();
    }
    fs::remove_all(pki);
}

}  // namespace
}  // namespace velk::ua::security
