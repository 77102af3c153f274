// Cost of the channel's message security against SecurityPolicy None: a response of 64 KiB
// sent and a request of 4 KiB received through an open channel with 8 KiB chunks, for None,
// Basic256Sha256 Sign and Basic256Sha256 SignAndEncrypt; and one OpenSecureChannel handshake.
#include <benchmark/benchmark.h>

#include <optional>
#include <vector>

#include "opcua/security/certificate.h"
#include "opcua/security/chunk_protection.h"
#include "opcua/security/server_channel_security.h"
#include "opcua/server_secure_channel.h"

namespace {

using namespace velk::ua;
using namespace velk::ua::security;

class BenchClock final : public velk::IClock {
  public:
    velk::FileTime NowUtc() const override { return 134000000000000000ull; }
    velk::LocalTime NowLocal() const override { return {}; }
    std::uint32_t TickCount() const override { return 0; }
    velk::LocalTime ToLocal(velk::FileTime) const override { return {}; }
    bool LocalToUtc(const velk::LocalTime&, velk::FileTime&) const override { return false; }
    void Sleep(std::uint32_t) override {}
};

struct Party {
    PKey key;
    Bytes der;
};

Party MakeParty(const char* uri) {
    Party party{GenerateRsaKey(2048), {}};
    CertificateRequest request;
    request.commonName = uri;
    request.applicationUri = uri;
    request.notAfter = 4'000'000'000;
    party.der = MakeCertificate(request, party.key.get());
    return party;
}

const Party& Server() {
    static const Party party = MakeParty("urn:bench:server");
    return party;
}
const Party& Client() {
    static const Party party = MakeParty("urn:bench:client");
    return party;
}

// An open channel of the mode (None: no security object) and the client's keys.
struct OpenChannel {
    explicit OpenChannel(MessageSecurityMode mode) : mode_(mode) {
        const SecurityPolicy& policy =
            *FindSecurityPolicy("http://opcfoundation.org/UA/SecurityPolicy#Basic256Sha256");
        std::unique_ptr<IChannelSecurity> security;
        if (mode != MessageSecurityMode::kNone) {
            ServerSecurityOptions options;
            options.policies = {&policy};
            auto own = std::make_shared<OwnCertificate>();
            own->der = Server().der;
            own->privateKey = PrivateKeyFromPem(PrivateKeyToPem(Server().key.get()));
            own->thumbprint = Sha1(own->der);
            options.certificate = own;
            options.checkCertificate = [](const SecurityPolicy&, ByteView) { return kGood; };
            security = std::make_unique<ServerChannelSecurity>(std::move(options));
        }
        channel_.emplace(clock_, 1, SecureChannelSettings{}, std::move(security));
        channel_->OnReceived(EncodeMessage(HelloMessage{0, 8192, 8192, 0, 0, "opc.tcp://h"}));
        channel_->TakeOutput();
        OpenSecureChannelRequest open;
        open.securityMode = mode;
        open.requestedLifetime = 600'000;
        Bytes nonce(mode == MessageSecurityMode::kNone ? 0 : 32, 0x42);
        open.clientNonce.bytes = nonce;
        Bytes chunk;
        if (mode == MessageSecurityMode::kNone) {
            AppendSecureChunk(chunk, MessageType::kOpenSecureChannel, ChunkType::kFinal, 0, 0, 1, 1,
                              EncodeServiceMessage(open));
        } else {
            AppendMessageHeader(chunk, MessageType::kOpenSecureChannel, ChunkType::kFinal);
            BinaryWriter w;
            w.WriteUInt32(0);
            Encode(w, std::string(policy.uri));
            Encode(w, ByteString{Client().der});
            Encode(w, ByteString{Sha1(Server().der)});
            const std::size_t prefix = kMessageHeaderSize + w.Size();
            w.WriteUInt32(1);
            w.WriteUInt32(1);
            w.WriteBytes(EncodeServiceMessage(open));
            chunk.insert(chunk.end(), w.Bytes().begin(), w.Bytes().end());
            SealChunk(AsymmetricProtection(policy, Client().key.get(), Server().key.get()), chunk,
                      0, prefix);
        }
        channel_->OnReceived(chunk);
        const auto reply = channel_->TakeOutput();
        if (mode != MessageSecurityMode::kNone) {
            AsymmetricChunkHeader header;
            ParseAsymmetricChunkHeader(reply, header);
            Bytes plain;
            OpenChunk(AsymmetricProtection(policy, Server().key.get(), Client().key.get()), reply,
                      header.prefixLength, plain);
            SecureChunk parsed;
            ParseSecureChunk(plain, parsed);
            BinaryReader r(parsed.body);
            NodeId typeId;
            OpenSecureChannelResponse response;
            Decode(r, typeId);
            Decode(r, response);
            keys_ = DeriveChannelKeys(policy, nonce, response.serverNonce.bytes);
        }
    }

    Bytes Request(std::size_t size) {
        Bytes body = {0x01, 0x00, 0x77, 0x01};
        body.resize(size, 0x5A);
        Bytes chunk;
        AppendSecureChunk(chunk, MessageType::kMessage, ChunkType::kFinal, 1, 1, sequence_++, 2,
                          body);
        if (mode_ != MessageSecurityMode::kNone) {
            SealChunk(
                SymmetricProtection(keys_.client, mode_ == MessageSecurityMode::kSignAndEncrypt),
                chunk, 0, 16);
        }
        return chunk;
    }

    MessageSecurityMode mode_;
    BenchClock clock_;
    std::optional<ServerSecureChannel> channel_;
    ChannelKeys keys_;
    std::uint32_t sequence_ = 2;
};

void BM_SecuredResponse(benchmark::State& state) {
    OpenChannel open(static_cast<MessageSecurityMode>(state.range(0)));
    const Bytes body(65536, 0x5A);
    for (auto _ : state) {
        benchmark::DoNotOptimize(open.channel_->SendResponse(2, body));
        benchmark::DoNotOptimize(open.channel_->TakeOutput().data());
    }
    if (open.channel_->state() != ServerSecureChannel::State::kOpen) {
        state.SkipWithError(open.channel_->closeText().c_str());
    }
    state.SetBytesProcessed(state.iterations() * 65536);
}
BENCHMARK(BM_SecuredResponse)->Arg(1)->Arg(2)->Arg(3);

void BM_SecuredRequest(benchmark::State& state) {
    OpenChannel open(static_cast<MessageSecurityMode>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        const Bytes chunk = open.Request(4096);
        state.ResumeTiming();
        open.channel_->OnReceived(chunk);
        benchmark::DoNotOptimize(open.channel_->TakeRequests().data());
    }
    if (open.channel_->state() != ServerSecureChannel::State::kOpen) {
        state.SkipWithError(open.channel_->closeText().c_str());
    }
    state.SetBytesProcessed(state.iterations() * 4096);
}
BENCHMARK(BM_SecuredRequest)->Arg(1)->Arg(2)->Arg(3);

void BM_SecuredHandshake(benchmark::State& state) {
    Server();
    Client();
    for (auto _ : state) {
        OpenChannel open(MessageSecurityMode::kSignAndEncrypt);
        benchmark::DoNotOptimize(open.channel_->state());
    }
}
BENCHMARK(BM_SecuredHandshake)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
