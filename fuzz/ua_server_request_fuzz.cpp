// Fuzz target of the server's session, discovery and Write request decoders and their routing.
// The first input byte picks the request type (CreateSession, ActivateSession, CloseSession,
// Cancel, FindServers, GetEndpoints, Write), the rest is the message body, handed to a server
// that already holds one activated session (its authentication token is fixed: the server's
// random source gives bytes of 0x5A, so seeds can carry it). Every request must be answered
// once, by its response or a ServiceFault, each decoding whole, and the server never holds
// more sessions than its bound.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <span>
#include <vector>

#include "fuzz/ua_fuzz_support.h"
#include "opcua/server/session_messages.h"
#include "opcua/server/ua_server.h"
#include "opcua/space/namespace_zero.h"
#include "opcua/space/write_service.h"

namespace {

using namespace velk;
using namespace velk::ua;

class NoValues final : public ITagValueReader {
  public:
    DataValue ReadTagValue(const NodeId&, double) override {
        DataValue v;
        v.status = kBadNodeIdUnknown;
        return v;
    }
};

class RefusingWriter final : public ITagValueWriter {
  public:
    StatusCode WriteTagValue(const NodeId&, const Variant&) override { return kBadNodeIdUnknown; }
};

class NoSampling final : public ISamplingSource {
  public:
    SampledNodeInfo Describe(const NodeId&, std::uint32_t) const override {
        return {kBadNodeIdUnknown, false, {}};
    }
    double ReviseSamplingInterval(double requested) const override { return requested; }
    std::vector<SamplingHandle> StartSampling(const std::vector<SampleSpec>& specs,
                                              ISampleSink&) override {
        return std::vector<SamplingHandle>(specs.size(), 0);
    }
    void StopSampling(const std::vector<SamplingHandle>&) override {}
};

// Runs work and posted tasks at once, on the caller's thread.
class InlineWork final : public IServiceWork {
  public:
    bool Launch(std::function<void()> work) override {
        work();
        return true;
    }
    void Post(std::function<void()> task) override { task(); }
};

class KeptOutput final : public IChannelOutput {
  public:
    void SendResponse(std::uint32_t, std::uint32_t, std::vector<std::uint8_t> message) override {
        messages.push_back(std::move(message));
    }
    std::vector<std::vector<std::uint8_t>> messages;
};

constexpr std::uint32_t kChannel = 1;
constexpr std::uint32_t kMaxSessions = 4;

UaServerConfig Config() {
    UaServerConfig config;
    config.endpointUrls = {"opc.tcp://127.0.0.1:4840"};
    config.endpoints = {
        {"http://opcfoundation.org/UA/SecurityPolicy#None", MessageSecurityMode::kNone}};
    config.allowAnonymous = true;
    config.maxSessions = kMaxSessions;
    config.serviceLimits.maxNodesPerWrite = 16;
    return config;
}

template <class Message>
ServiceRequest RequestOf(const Message& message, std::uint32_t requestId) {
    BinaryWriter w;
    Encode(w, message);
    return ServiceRequest{requestId, BinaryEncodingId<Message>(), w.Take()};
}

struct Server {
    Server()
        : zero(ServerDescription{}, ServiceLimits{}, clock),
          space(zero, nullptr),
          server(UaServerServices{clock,
                                  space,
                                  values,
                                  writer,
                                  sampling,
                                  work,
                                  output,
                                  {},
                                  {},
                                  [](std::span<std::uint8_t> bytes) {
                                      std::memset(bytes.data(), 0x5A, bytes.size());
                                      return true;
                                  },
                                  nullptr},
                 Config()) {
        channel.channelId = kChannel;
        channel.endpointUrl = "opc.tcp://127.0.0.1:4840";
        channel.securityPolicyUri = "http://opcfoundation.org/UA/SecurityPolicy#None";
        // The session the seeds address: created and activated anonymously.
        CreateSessionRequest create;
        create.requestedSessionTimeout = 3'600'000;
        server.OnRequest(channel, RequestOf(create, 1));
        BinaryReader r(output.messages.at(0));
        NodeId typeId;
        Decode(r, typeId);
        CreateSessionResponse created;
        Decode(r, created);
        ActivateSessionRequest activate;
        activate.requestHeader.authenticationToken = created.authenticationToken;
        server.OnRequest(channel, RequestOf(activate, 2));
        output.messages.clear();
    }
    fuzz::FixedClock clock;
    NamespaceZero zero;
    AddressSpace space;
    NoValues values;
    RefusingWriter writer;
    NoSampling sampling;
    InlineWork work;
    KeptOutput output;
    UaServer server;
    ChannelInfo channel;
};

template <class Request, class Response>
void Serve(Server& s, std::span<const std::uint8_t> body) {
    s.output.messages.clear();
    s.server.OnRequest(s.channel,
                       ServiceRequest{7, BinaryEncodingId<Request>(),
                                      std::vector<std::uint8_t>(body.begin(), body.end())});
    if (s.output.messages.size() != 1) std::abort();
    fuzz::CheckServiceAnswer<Response>(s.output.messages[0]);
    if (s.server.SessionCount() > kMaxSessions) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Server server;
    if (size == 0) return 0;
    const std::span<const std::uint8_t> body(data + 1, size - 1);
    switch (data[0] % 7) {
        case 0:
            Serve<CreateSessionRequest, CreateSessionResponse>(server, body);
            break;
        case 1:
            Serve<ActivateSessionRequest, ActivateSessionResponse>(server, body);
            break;
        case 2:
            Serve<CloseSessionRequest, CloseSessionResponse>(server, body);
            break;
        case 3:
            Serve<CancelRequest, CancelResponse>(server, body);
            break;
        case 4:
            Serve<FindServersRequest, FindServersResponse>(server, body);
            break;
        case 5:
            Serve<GetEndpointsRequest, GetEndpointsResponse>(server, body);
            break;
        default:
            Serve<WriteRequest, WriteResponse>(server, body);
            break;
    }
    return 0;
}
