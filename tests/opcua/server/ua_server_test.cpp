// The UA server driven as the UA front drives it: encoded requests in, encoded answers out,
// with a fake clock, a fake sampling source and work that runs when the test says.
#include "opcua/server/ua_server.h"

#include <gtest/gtest.h>

#include <deque>
#include <map>

#include "opcua/server/session_messages.h"
#include "opcua/subscription/subscription_messages.h"
#include "tests/opcua/subscription/subscription_test_support.h"
#include "tests/support/fake_clock.h"

namespace velk::ua {
namespace {

using test::FakeSamplingSource;

class FakeSpace final : public IAddressSpace {
  public:
    std::map<std::string, Node> nodes;
    std::optional<Node> FindNode(const NodeId& id) const override {
        const auto* s = std::get_if<std::string>(&id.identifier);
        const auto it = s ? nodes.find(*s) : nodes.end();
        if (it == nodes.end()) return std::nullopt;
        return it->second;
    }
    bool IsSubtypeOf(const NodeId& a, const NodeId& b) const override { return a == b; }
    std::vector<std::string> NamespaceUris() const override {
        return {"http://opcfoundation.org/UA/", "urn:velk:ModbusOPCServer"};
    }
};

class NoValues final : public ITagValueReader {
  public:
    DataValue ReadTagValue(const NodeId&, double) override { return {}; }
};

class RecordingWriter final : public ITagValueWriter {
  public:
    std::vector<NodeId> written;
    StatusCode WriteTagValue(const NodeId& node, const Variant&) override {
        written.push_back(node);
        return kGood;
    }
};

class QueuedWork final : public IServiceWork {
  public:
    std::deque<std::function<void()>> launched, posted;
    bool Launch(std::function<void()> work) override {
        launched.push_back(std::move(work));
        return true;
    }
    void Post(std::function<void()> task) override { posted.push_back(std::move(task)); }
    void RunAll() {
        while (!launched.empty() || !posted.empty()) {
            auto& q = launched.empty() ? posted : launched;
            auto f = std::move(q.front());
            q.pop_front();
            f();
        }
    }
};

// Keeps the sink the server hands in, to deliver samples as a device thread would.
class KeepingSource final : public ISamplingSource {
  public:
    explicit KeepingSource(FakeSamplingSource& fake) : fake_(fake) {}
    ISampleSink* sink = nullptr;
    SampledNodeInfo Describe(const NodeId& n, std::uint32_t a) const override {
        return fake_.Describe(n, a);
    }
    double ReviseSamplingInterval(double ms) const override {
        return fake_.ReviseSamplingInterval(ms);
    }
    std::vector<SamplingHandle> StartSampling(const std::vector<SampleSpec>& specs,
                                              ISampleSink& s) override {
        sink = &s;
        return fake_.StartSampling(specs, s);
    }
    void StopSampling(const std::vector<SamplingHandle>& h) override { fake_.StopSampling(h); }

  private:
    FakeSamplingSource& fake_;
};

struct Sent {
    std::uint32_t channelId = 0;
    std::uint32_t requestId = 0;
    NodeId typeId;
    std::vector<std::uint8_t> body;
};

class RecordingOutput final : public IChannelOutput {
  public:
    std::vector<Sent> sent;
    void SendResponse(std::uint32_t channelId, std::uint32_t requestId,
                      std::vector<std::uint8_t> message) override {
        BinaryReader r(message);
        Sent s{channelId, requestId, {}, {}};
        Decode(r, s.typeId);
        s.body.assign(message.begin() + static_cast<std::ptrdiff_t>(r.Position()), message.end());
        sent.push_back(std::move(s));
    }
};

template <class T>
T As(const Sent& s) {
    EXPECT_EQ(s.typeId, BinaryEncodingId<T>());
    T value;
    BinaryReader r(s.body);
    Decode(r, value);
    EXPECT_TRUE(r.Ok());
    return value;
}

StatusCode FaultCode(const Sent& s) {
    if (s.typeId != BinaryEncodingId<ServiceFault>()) return kGood;
    return As<ServiceFault>(s).responseHeader.serviceResult;
}

ChannelInfo Channel(std::uint32_t id) {
    ChannelInfo c;
    c.channelId = id;
    c.endpointUrl = "opc.tcp://plant:4840";
    return c;
}

struct ServerFixture {
    explicit ServerFixture(UaServerConfig config = Config(true)) {
        std::uint8_t counter = 0;
        server = std::make_unique<UaServer>(
            UaServerServices{clock, space, values, writer, keeping, work, output,
                             [this](const std::string& line) { trace.push_back(line); },
                             [this](std::size_t n) { counts.push_back(n); },
                             [counter](std::span<std::uint8_t> out) mutable {
                                 for (auto& b : out) b = ++counter;
                                 return true;
                             }},
            std::move(config));
    }
    static UaServerConfig Config(bool anonymous) {
        UaServerConfig c;
        c.allowAnonymous = anonymous;
        c.endpointUrls = {"opc.tcp://plant:4840", "opc.tcp://10.0.0.5:4840"};
        c.endpoints = {{std::string(kSecurityPolicyNoneUri), MessageSecurityMode::kNone},
                       {"http://opcfoundation.org/UA/SecurityPolicy#Basic256Sha256",
                        MessageSecurityMode::kSignAndEncrypt}};
        return c;
    }

    template <class T>
    Sent Call(std::uint32_t channel, T request) {
        BinaryWriter w;
        Encode(w, request);
        const std::uint32_t id = ++requestId;
        server->OnRequest(Channel(channel), ServiceRequest{id, BinaryEncodingId<T>(), w.Take()});
        work.RunAll();
        for (const Sent& s : output.sent) {
            if (s.requestId == id) return s;
        }
        return Sent{};
    }
    // A session created and activated anonymously on channel; its token.
    NodeId Open(std::uint32_t channel, double timeoutMs = 30'000) {
        CreateSessionRequest create;
        create.sessionName = "hmi";
        create.endpointUrl = "opc.tcp://plant:4840";
        create.requestedSessionTimeout = timeoutMs;
        const NodeId token = As<CreateSessionResponse>(Call(channel, create)).authenticationToken;
        EXPECT_EQ(Activate(channel, token), kGood);
        return token;
    }
    StatusCode Activate(std::uint32_t channel, const NodeId& token,
                        ExtensionObject identity = ToExtensionObject(AnonymousIdentityToken{
                            std::string(kAnonymousPolicyId)})) {
        ActivateSessionRequest a;
        a.requestHeader.authenticationToken = token;
        a.userIdentityToken = std::move(identity);
        return FaultCode(Call(channel, a));
    }
    StatusCode Subscribe(std::uint32_t channel, const NodeId& token) {
        CreateSubscriptionRequest r;
        r.requestHeader.authenticationToken = token;
        r.requestedPublishingInterval = 100;
        r.requestedMaxKeepAliveCount = 3;
        r.requestedLifetimeCount = 100;
        r.publishingEnabled = true;
        return FaultCode(Call(channel, r));
    }
    std::uint32_t PublishQueued(std::uint32_t channel, const NodeId& token, std::uint32_t handle) {
        PublishRequest p;
        p.requestHeader.authenticationToken = token;
        p.requestHeader.requestHandle = handle;
        const std::size_t before = output.sent.size();
        Call(channel, p);
        EXPECT_EQ(output.sent.size(), before) << "a Publish without news waits";
        return requestId;
    }

    testing::FakeClock clock;
    FakeSpace space;
    NoValues values;
    RecordingWriter writer;
    FakeSamplingSource sampling;
    KeepingSource keeping{sampling};
    QueuedWork work;
    RecordingOutput output;
    std::vector<std::string> trace;
    std::vector<std::size_t> counts;
    std::unique_ptr<UaServer> server;
    std::uint32_t requestId = 0;
};

TEST(UaServerSession, IsServedOnlyOnTheChannelItWasActivatedOn) {
    ServerFixture f;
    CreateSessionRequest create;
    create.sessionName = "hmi";
    create.requestedSessionTimeout = 30'000;
    const auto made = As<CreateSessionResponse>(f.Call(1, create));
    EXPECT_EQ(made.authenticationToken.identifier.index(), 3u) << "an opaque token";
    EXPECT_EQ(f.Subscribe(1, made.authenticationToken), kBadSessionNotActivated);
    EXPECT_EQ(f.Activate(2, made.authenticationToken), kBadSecureChannelIdInvalid)
        << "first activation only on the creating channel";
    ASSERT_EQ(f.Activate(1, made.authenticationToken), kGood);
    EXPECT_EQ(f.Subscribe(1, made.authenticationToken), kGood);
    EXPECT_EQ(f.Subscribe(2, made.authenticationToken), kBadSecureChannelIdInvalid);
    EXPECT_EQ(f.Subscribe(1, made.sessionId), kBadSessionIdInvalid) << "the id is no token";
    // Moved to channel 2 by a new activation, it leaves channel 1.
    ASSERT_EQ(f.Activate(2, made.authenticationToken), kGood);
    EXPECT_EQ(f.Subscribe(2, made.authenticationToken), kGood);
    EXPECT_EQ(f.Subscribe(1, made.authenticationToken), kBadSecureChannelIdInvalid);
    ASSERT_FALSE(f.trace.empty());
    EXPECT_EQ(f.trace.front(),
              "OPC UA: session 'hmi' created for opc.tcp://plant:4840 (channel 1)");
}

TEST(UaServerSession, TimesOutWithoutRequestsAndEachRequestRestartsTheTimeout) {
    ServerFixture f;
    const NodeId token = f.Open(1, 10'000);
    f.clock.Advance(9'000);
    ASSERT_EQ(f.Subscribe(1, token), kGood);
    f.clock.Advance(9'000);
    f.server->Tick();
    EXPECT_EQ(f.server->SessionCount(), 1u) << "the request restarted the timeout";
    f.clock.Advance(1'001);
    f.server->Tick();
    EXPECT_EQ(f.server->SessionCount(), 0u);
    EXPECT_EQ(f.counts.back(), 0u);
    EXPECT_EQ(f.trace.back(), "OPC UA: session 'hmi' timed out");
    EXPECT_TRUE(f.sampling.live.empty());
    EXPECT_EQ(f.Subscribe(1, token), kBadSessionIdInvalid);
}

TEST(UaServerSession, RefusesPastMaxSessionsAndIdentitiesNotAllowed) {
    UaServerConfig config = ServerFixture::Config(false);
    config.maxSessions = 1;
    ServerFixture f(config);
    CreateSessionRequest create;
    create.sessionName = "a";
    const auto made = As<CreateSessionResponse>(f.Call(1, create));
    EXPECT_EQ(FaultCode(f.Call(1, create)), kBadTooManySessions);
    EXPECT_EQ(f.counts, std::vector<std::size_t>{1});
    const NodeId token = made.authenticationToken;
    EXPECT_EQ(f.Activate(1, token), kBadIdentityTokenRejected) << "anonymous not allowed";
    EXPECT_EQ(f.Activate(1, token, ExtensionObject{}), kBadIdentityTokenRejected);
    EXPECT_EQ(f.Activate(1, token,
                         ToExtensionObject(UserNameIdentityToken{std::string(kUserNamePolicyId),
                                                                 "op", ByteString{{1, 2}}, ""})),
              kBadIdentityTokenRejected)
        << "no user check is wired";
    EXPECT_EQ(f.Activate(1, token, ToExtensionObject(UserNameIdentityToken{"other", "op", {}, ""})),
              kBadIdentityTokenInvalid);
    EXPECT_EQ(f.Activate(1, token, ToExtensionObject(SignatureData{})), kBadIdentityTokenInvalid);
    EXPECT_EQ(f.Subscribe(1, token), kBadSessionNotActivated);
}

TEST(UaServerDiscovery, GetEndpointsGivesEveryOfferOnEveryUrlWithoutASession) {
    for (const bool anonymous : {false, true}) {
        ServerFixture f(ServerFixture::Config(anonymous));
        const auto endpoints = As<GetEndpointsResponse>(f.Call(7, GetEndpointsRequest{})).endpoints;
        ASSERT_EQ(endpoints.size(), 4u);
        std::map<std::string, int> urls;
        for (const EndpointDescription& e : endpoints) {
            ++urls[e.endpointUrl];
            EXPECT_EQ(e.transportProfileUri, kUaTcpBinaryTransportProfileUri);
            EXPECT_EQ(e.server.applicationUri, "urn:velk:ModbusOPCServer");
            bool hasAnonymous = false, hasUser = false;
            for (const UserTokenPolicy& p : e.userIdentityTokens) {
                hasAnonymous |= p.tokenType == UserTokenType::kAnonymous;
                hasUser |= p.tokenType == UserTokenType::kUserName;
            }
            EXPECT_EQ(hasAnonymous, anonymous);
            EXPECT_TRUE(hasUser);
        }
        EXPECT_EQ(urls.size(), 2u);
        EXPECT_LT(endpoints[0].securityLevel, endpoints[2].securityLevel)
            << "the secured endpoint ranks higher";
        GetEndpointsRequest other;
        other.profileUris = {"http://opcfoundation.org/UA-Profile/Transport/https-uabinary"};
        EXPECT_TRUE(As<GetEndpointsResponse>(f.Call(7, other)).endpoints.empty());
        FindServersRequest find;
        find.serverUris = {"urn:someone:else"};
        EXPECT_TRUE(As<FindServersResponse>(f.Call(7, find)).servers.empty());
        find.serverUris.push_back("urn:velk:ModbusOPCServer");
        EXPECT_EQ(As<FindServersResponse>(f.Call(7, find)).servers.size(), 1u);
    }
}

TEST(UaServerWrite, RefusesWhatCannotBeWrittenAndWritesTheRest) {
    ServerFixture f;
    Node tag;
    tag.nodeClass = NodeClass::kVariable;
    tag.valueOrigin = ValueOrigin::kTag;
    tag.accessLevel = kAccessCurrentRead | kAccessCurrentWrite;
    tag.userAccessLevel = tag.accessLevel;
    f.space.nodes["rw"] = tag;
    tag.accessLevel = kAccessCurrentRead;
    f.space.nodes["ro"] = tag;
    tag.accessLevel = kAccessCurrentRead | kAccessCurrentWrite;
    tag.userAccessLevel = kAccessCurrentRead;
    f.space.nodes["user-ro"] = tag;
    Node fixed;
    fixed.nodeClass = NodeClass::kVariable;
    fixed.accessLevel = kAccessCurrentRead | kAccessCurrentWrite;
    fixed.userAccessLevel = fixed.accessLevel;
    f.space.nodes["fixed"] = fixed;
    Node folder;
    folder.nodeClass = NodeClass::kObject;
    f.space.nodes["folder"] = folder;

    DataValue plain;
    plain.value = Variant::Scalar(std::int16_t{5});
    DataValue stamped = plain;
    stamped.sourceTimestamp = DateTime{1};
    DataValue withStatus = plain;
    withStatus.status = kUncertain;
    const std::uint32_t value = 13, displayName = 4;
    struct Case {
        std::string node;
        std::uint32_t attribute;
        std::string range;
        DataValue dv;
        StatusCode expected;
    };
    const std::vector<Case> cases = {
        {"gone", value, "", plain, kBadNodeIdUnknown},
        {"rw", displayName, "", plain, kBadNotWritable},
        {"rw", 99, "", plain, kBadAttributeIdInvalid},
        {"folder", value, "", plain, kBadAttributeIdInvalid},
        {"rw", value, "1", plain, kBadWriteNotSupported},
        {"rw", value, "", stamped, kBadWriteNotSupported},
        {"rw", value, "", withStatus, kBadWriteNotSupported},
        {"ro", value, "", plain, kBadNotWritable},
        {"user-ro", value, "", plain, kBadUserAccessDenied},
        {"fixed", value, "", plain, kBadNotWritable},
        {"rw", value, "", plain, kGood},
    };
    const NodeId token = f.Open(1);
    WriteRequest request;
    request.requestHeader.authenticationToken = token;
    for (const Case& c : cases) {
        request.nodesToWrite.push_back({NodeId::String(1, c.node), c.attribute, c.range, c.dv});
    }
    const auto response = As<WriteResponse>(f.Call(1, request));
    ASSERT_EQ(response.results.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(response.results[i], cases[i].expected) << "case " << i;
    }
    EXPECT_EQ(f.writer.written, std::vector<NodeId>{NodeId::String(1, "rw")});

    request.nodesToWrite.clear();
    EXPECT_EQ(FaultCode(f.Call(1, request)), kBadNothingToDo);
    UaServerConfig small = ServerFixture::Config(true);
    small.serviceLimits.maxNodesPerWrite = 1;
    ServerFixture g(small);
    request.requestHeader.authenticationToken = g.Open(1);
    request.nodesToWrite.assign(2, {NodeId::String(1, "rw"), value, "", plain});
    EXPECT_EQ(FaultCode(g.Call(1, request)), kBadTooManyOperations);
    EXPECT_TRUE(g.writer.written.empty());
}

TEST(UaServerPublish, CancelAnswersTheQueuedPublishOfThatHandle) {
    ServerFixture f;
    const NodeId token = f.Open(1);
    ASSERT_EQ(f.Subscribe(1, token), kGood);
    const std::uint32_t publishId = f.PublishQueued(1, token, 77);
    f.PublishQueued(1, token, 78);
    CancelRequest cancel;
    cancel.requestHeader.authenticationToken = token;
    cancel.requestHandle = 77;
    EXPECT_EQ(As<CancelResponse>(f.Call(1, cancel)).cancelCount, 1u);
    bool answered = false;
    for (const Sent& s : f.output.sent) {
        if (s.requestId != publishId) continue;
        answered = true;
        EXPECT_EQ(FaultCode(s), kBadRequestCancelledByClient);
    }
    EXPECT_TRUE(answered);
}

TEST(UaServerPublish, AnswersGoToTheChannelTheSessionMovedTo) {
    ServerFixture f;
    const NodeId token = f.Open(1);
    ASSERT_EQ(f.Subscribe(1, token), kGood);
    const std::uint32_t old = f.PublishQueued(1, token, 1);
    ASSERT_EQ(f.Activate(2, token), kGood);
    const std::uint32_t fresh = f.PublishQueued(2, token, 2);
    for (int i = 0; i < 5; ++i) {
        f.clock.Advance(100);
        f.server->Tick();
    }
    bool keepAlive = false;
    for (const Sent& s : f.output.sent) {
        EXPECT_NE(s.requestId, old) << "nobody on channel 1 serves the session any more";
        if (s.requestId == fresh) {
            keepAlive = true;
            EXPECT_EQ(s.channelId, 2u);
            EXPECT_EQ(As<PublishResponse>(s).subscriptionId, 1u);
        }
    }
    EXPECT_TRUE(keepAlive);
}

TEST(UaServerRouting, UnknownServicesAndBadBodiesAreFaults) {
    ServerFixture f;
    const NodeId token = f.Open(1);
    RequestHeader header;
    header.authenticationToken = token;
    BinaryWriter w;
    Encode(w, header);
    // AddNodes: not served here.
    f.server->OnRequest(Channel(1), ServiceRequest{900, NodeId::Numeric(0, 488), w.Take()});
    f.server->OnRequest(Channel(1),
                        ServiceRequest{901, BinaryEncodingId<CreateSessionRequest>(), {1, 2, 3}});
    f.server->OnRequest(Channel(1),
                        ServiceRequest{902, BinaryEncodingId<CreateSubscriptionRequest>(), {0}});
    std::map<std::uint32_t, StatusCode> codes;
    for (const Sent& s : f.output.sent) codes[s.requestId] = FaultCode(s);
    EXPECT_EQ(codes[900], kBadServiceUnsupported);
    EXPECT_EQ(codes[901], kBadDecodingError);
    EXPECT_EQ(codes[902], kBadDecodingError);
}

TEST(UaServerRouting, ReadRunsOnAWorkerAndItsAnswerIsPostedBack) {
    ServerFixture f;
    const NodeId token = f.Open(1);
    RequestHeader header;
    header.authenticationToken = token;
    header.requestHandle = 12;
    // A Read of one node's DisplayName, encoded field by field (its schema lives with the
    // Read service).
    BinaryWriter w;
    Encode(w, header);
    Encode(w, 0.0);
    Encode(w, std::int32_t{0});
    Encode(w, std::int32_t{1});
    Encode(w, NodeId::String(1, "gone"));
    Encode(w, std::uint32_t{4});
    Encode(w, std::string{});
    Encode(w, QualifiedName{});
    const std::size_t before = f.output.sent.size();
    f.server->OnRequest(Channel(1), ServiceRequest{500, NodeId::Numeric(0, 631), w.Take()});
    EXPECT_EQ(f.output.sent.size(), before) << "nothing answered on the calling thread";
    ASSERT_EQ(f.work.launched.size(), 1u);
    f.work.RunAll();
    ASSERT_EQ(f.output.sent.size(), before + 1);
    const Sent& answer = f.output.sent.back();
    EXPECT_EQ(answer.requestId, 500u);
    EXPECT_EQ(answer.channelId, 1u);
    EXPECT_EQ(answer.typeId, NodeId::Numeric(0, 634));
}

TEST(UaServerSampling, ABatchFromTheSourceIsOneTaskAndReachesOnlyALiveSession) {
    ServerFixture f;
    f.sampling.nodes["T1"] = SampledNodeInfo{kGood, true, std::nullopt};
    const NodeId token = f.Open(1);
    ASSERT_EQ(f.Subscribe(1, token), kGood);
    CreateMonitoredItemsRequest items;
    items.requestHeader.authenticationToken = token;
    items.subscriptionId = 1;
    items.itemsToCreate = {test::Item("T1", 5)};
    ASSERT_EQ(As<CreateMonitoredItemsResponse>(f.Call(1, items)).results.at(0).statusCode, kGood);
    ASSERT_NE(f.keeping.sink, nullptr);
    const SamplingHandle handle = f.sampling.live.begin()->first;
    const std::uint32_t publish = f.PublishQueued(1, token, 3);
    const std::vector<Sample> batch = {{handle, test::Value(1.5)}, {handle + 100, test::Value(2)}};
    f.keeping.sink->OnSamples(batch);
    EXPECT_EQ(f.work.posted.size(), 1u) << "one task per batch";
    f.work.RunAll();
    for (int i = 0; i < 2; ++i) {
        f.clock.Advance(100);
        f.server->Tick();
    }
    std::vector<std::uint32_t> handles;
    for (const Sent& s : f.output.sent) {
        if (s.requestId == publish)
            handles = test::Handles(As<PublishResponse>(s).notificationMessage);
    }
    EXPECT_EQ(handles, std::vector<std::uint32_t>{5});

    // A batch posted before its session ends and run after is dropped.
    f.keeping.sink->OnSamples(batch);
    CloseSessionRequest close;
    close.requestHeader.authenticationToken = token;
    close.deleteSubscriptions = true;
    EXPECT_EQ(FaultCode(f.Call(1, close)), kGood);
    EXPECT_TRUE(f.sampling.live.empty());
    EXPECT_EQ(f.trace.back(), "OPC UA: session 'hmi' closed");
    EXPECT_EQ(f.server->SessionCount(), 0u);
}

}  // namespace
}  // namespace velk::ua
