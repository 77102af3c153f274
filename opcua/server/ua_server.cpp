#include "opcua/server/ua_server.h"

#include <map>
#include <utility>

#include "opcua/server/discovery.h"
#include "opcua/server/session_manager.h"
#include "opcua/space/service_dispatch.h"
#include "opcua/space/write_service.h"
#include "opcua/subscription/subscription_services.h"

namespace velk::ua {

// Named, not anonymous: UaServer::Impl, of external linkage, holds these as members.
namespace ua_server_parts {

// The Read request's encoding; its schema lives with the Read service, whose ReadValueId
// is not the monitored items' one, so it is named by number here.
constexpr std::uint32_t kReadRequestEncodingId = 631;

std::uint64_t PublishKey(std::uint32_t channelId, std::uint32_t requestId) {
    return (static_cast<std::uint64_t>(channelId) << 32) | requestId;
}
std::uint32_t ChannelOfKey(std::uint64_t key) { return static_cast<std::uint32_t>(key >> 32); }

// Routes samples, delivered on the source's threads, to the session they belong to on the
// server's thread. The handle -> session map is kept on the server's thread only: handles
// are recorded when StartSampling returns there, before any posted sample can run.
class SampleRouter final : public ISampleSink, public std::enable_shared_from_this<SampleRouter> {
  public:
    SampleRouter(IServiceWork& work, SessionManager& sessions) : work_(work), sessions_(sessions) {}

    void OnSample(SamplingHandle handle, const DataValue& value) override {
        OnSamples(std::span<const Sample>(std::vector<Sample>{{handle, value}}));
    }
    void OnSamples(std::span<const Sample> samples) override {
        std::weak_ptr<SampleRouter> self = weak_from_this();
        work_.Post([self, batch = std::vector<Sample>(samples.begin(), samples.end())] {
            if (const auto router = self.lock()) router->Deliver(batch);
        });
    }
    void Record(std::uint64_t sessionKey, const std::vector<SamplingHandle>& handles) {
        for (const SamplingHandle h : handles) owners_[h] = sessionKey;
    }
    void Forget(const std::vector<SamplingHandle>& handles) {
        for (const SamplingHandle h : handles) owners_.erase(h);
    }

  private:
    void Deliver(const std::vector<Sample>& batch) {
        for (const Sample& s : batch) {
            const auto it = owners_.find(s.handle);
            if (it == owners_.end()) continue;
            Session* session = sessions_.Find(it->second);
            // A session that ended meanwhile drops its samples.
            if (session != nullptr && session->subscriptions)
                session->subscriptions->OnSample(s.handle, s.value);
        }
    }

    IServiceWork& work_;
    SessionManager& sessions_;
    std::map<SamplingHandle, std::uint64_t> owners_;
};

// One session's view of the sampling source: starts go through the router.
class SessionSampling final : public ISamplingSource {
  public:
    SessionSampling(ISamplingSource& source, SampleRouter& router, std::uint64_t key)
        : source_(source), router_(router), key_(key) {}
    SampledNodeInfo Describe(const NodeId& node, std::uint32_t attributeId) const override {
        return source_.Describe(node, attributeId);
    }
    double ReviseSamplingInterval(double requestedMs) const override {
        return source_.ReviseSamplingInterval(requestedMs);
    }
    std::vector<SamplingHandle> StartSampling(const std::vector<SampleSpec>& specs,
                                              ISampleSink&) override {
        std::vector<SamplingHandle> handles = source_.StartSampling(specs, router_);
        router_.Record(key_, handles);
        return handles;
    }
    void StopSampling(const std::vector<SamplingHandle>& handles) override {
        router_.Forget(handles);
        source_.StopSampling(handles);
    }

  private:
    ISamplingSource& source_;
    SampleRouter& router_;
    const std::uint64_t key_;
};

template <class Request>
bool DecodeRequest(std::span<const std::uint8_t> body, Request& request, StatusCode& status) {
    BinaryReader r(body);
    Decode(r, request);
    if (r.Ok() && r.Remaining() != 0) r.Fail(kBadDecodingError);
    status = r.Status();
    return r.Ok();
}

}  // namespace ua_server_parts

using namespace ua_server_parts;

class UaServer::Impl {
  public:
    Impl(UaServerServices services, UaServerConfig config)
        : s_(std::move(services)),
          config_(std::move(config)),
          subscriptionState_(config_.subscriptionLimits),
          sessions_(s_.clock,
                    SessionSettings{config_.maxSessions, config_.minSessionTimeoutMs,
                                    config_.maxSessionTimeoutMs,
                                    config_.serviceLimits.maxBrowseContinuationPoints,
                                    config_.allowAnonymous, s_.userAuthenticator},
                    s_.random),
          router_(std::make_shared<SampleRouter>(s_.work, sessions_)),
          alive_(std::make_shared<bool>(true)) {}

    ~Impl() {
        // The sessions stop their sampling through the router, which must still be there.
        while (!sessions_.All().empty()) sessions_.Close(sessions_.All().begin()->first);
    }

    void OnRequest(const ChannelInfo& channel, ServiceRequest request);
    void OnChannelClosed(std::uint32_t channelId);
    void Tick();
    FileTime NextDue() const;
    std::size_t SessionCount() const { return sessions_.Count(); }

  private:
    DateTime Now() const { return DateTime{static_cast<std::int64_t>(s_.clock.NowUtc())}; }
    void Trace(const std::string& line) const {
        if (s_.trace) s_.trace(line);
    }
    void CountChanged() const {
        if (s_.sessionCountChanged) s_.sessionCountChanged(sessions_.Count());
    }
    void Send(std::uint32_t channelId, std::uint32_t requestId, std::vector<std::uint8_t> bytes) {
        s_.output.SendResponse(channelId, requestId, std::move(bytes));
    }
    void Fault(std::uint32_t channelId, std::uint32_t requestId, std::uint32_t requestHandle,
               StatusCode status) {
        ResponseHeader header;
        header.timestamp = Now();
        header.requestHandle = requestHandle;
        header.serviceResult = status;
        Send(channelId, requestId, EncodeServiceMessage(ServiceFault{header}));
    }
    template <class Response>
    void Answer(std::uint32_t channelId, std::uint32_t requestId, const Response& response) {
        if (IsBad(response.responseHeader.serviceResult)) {
            Send(channelId, requestId, EncodeServiceMessage(ServiceFault{response.responseHeader}));
            return;
        }
        std::vector<std::uint8_t> bytes = EncodeServiceMessage(response);
        if (bytes.empty()) {
            Fault(channelId, requestId, response.responseHeader.requestHandle,
                  kBadEncodingLimitsExceeded);
            return;
        }
        Send(channelId, requestId, std::move(bytes));
    }
    void RoutePublish(Session& session, std::vector<PublishOutcome>& out) {
        for (PublishOutcome& o : out) {
            // An answer goes only to the channel the session is bound to now.
            if (ChannelOfKey(o.requestId) != session.channelId) continue;
            Answer(session.channelId, static_cast<std::uint32_t>(o.requestId), o.response);
        }
        out.clear();
    }
    void EndSession(std::unique_ptr<Session> session, const char* how) {
        if (!session) return;
        Trace("OPC UA: session '" + session->name + "' " + how);
        session.reset();
        CountChanged();
    }

    template <class Request, class Fn>
    bool Serve(const ChannelInfo& channel, const ServiceRequest& request, Fn fn);
    void CreateSession(const ChannelInfo& channel, const ServiceRequest& request);
    void ActivateSession(const ChannelInfo& channel, const ServiceRequest& request);
    void Launch(const ChannelInfo& channel, ServiceRequest request, bool write);

    UaServerServices s_;
    const UaServerConfig config_;
    SubscriptionServerState subscriptionState_;
    SessionManager sessions_;
    std::shared_ptr<SampleRouter> router_;
    // Lets answers posted by workers find out whether the server is still there.
    std::shared_ptr<bool> alive_;
};

template <class Request, class Fn>
bool UaServer::Impl::Serve(const ChannelInfo& channel, const ServiceRequest& request, Fn fn) {
    if (request.typeId != BinaryEncodingId<Request>()) return false;
    Request decoded;
    StatusCode status;
    if (!DecodeRequest(request.body, decoded, status)) {
        Fault(channel.channelId, request.requestId, decoded.requestHeader.requestHandle, status);
        return true;
    }
    Session* session =
        sessions_.Use(decoded.requestHeader.authenticationToken, channel.channelId, false, status);
    if (session == nullptr) {
        Fault(channel.channelId, request.requestId, decoded.requestHeader.requestHandle, status);
        return true;
    }
    fn(*session, decoded);
    return true;
}

void UaServer::Impl::CreateSession(const ChannelInfo& channel, const ServiceRequest& request) {
    CreateSessionRequest decoded;
    StatusCode status;
    if (!DecodeRequest(request.body, decoded, status)) {
        Fault(channel.channelId, request.requestId, decoded.requestHeader.requestHandle, status);
        return;
    }
    const std::string where =
        (decoded.endpointUrl.empty() ? channel.endpointUrl : decoded.endpointUrl) + " (channel " +
        std::to_string(channel.channelId) + ")";
    Session* session = sessions_.Create(channel.channelId, decoded.sessionName, decoded.endpointUrl,
                                        decoded.requestedSessionTimeout, status);
    if (session == nullptr) {
        Trace("OPC UA: session '" + decoded.sessionName + "' refused for " + where + ": " +
              std::string(StatusCodeName(status)));
        Fault(channel.channelId, request.requestId, decoded.requestHeader.requestHandle, status);
        return;
    }
    session->sampling = std::make_unique<SessionSampling>(s_.sampling, *router_, session->key);
    session->subscriptions =
        std::make_unique<SessionSubscriptions>(subscriptionState_, *session->sampling, s_.clock);
    session->subscriptions->SetTrace(s_.trace);
    CreateSessionResponse response;
    response.responseHeader.timestamp = Now();
    response.responseHeader.requestHandle = decoded.requestHeader.requestHandle;
    response.sessionId = session->sessionId;
    response.authenticationToken = session->authenticationToken;
    response.revisedSessionTimeout = session->timeoutMs;
    response.serverNonce = session->serverNonce;
    response.serverCertificate = config_.serverCertificate;
    response.serverEndpoints = Endpoints(config_);
    Trace("OPC UA: session '" + session->name + "' created for " + where);
    CountChanged();
    Answer(channel.channelId, request.requestId, response);
}

void UaServer::Impl::ActivateSession(const ChannelInfo& channel, const ServiceRequest& request) {
    ActivateSessionRequest decoded;
    StatusCode status;
    if (!DecodeRequest(request.body, decoded, status)) {
        Fault(channel.channelId, request.requestId, decoded.requestHeader.requestHandle, status);
        return;
    }
    Session* session = sessions_.Activate(decoded.requestHeader.authenticationToken,
                                          channel.channelId, decoded.userIdentityToken, status);
    if (session == nullptr) {
        Trace("OPC UA: session activation refused on channel " + std::to_string(channel.channelId) +
              ": " + std::string(StatusCodeName(status)));
        Fault(channel.channelId, request.requestId, decoded.requestHeader.requestHandle, status);
        return;
    }
    // Publish requests left queued from another channel could never be answered there.
    const std::uint32_t bound = channel.channelId;
    session->subscriptions->DropPublishRequests(
        [bound](std::uint64_t key) { return ChannelOfKey(key) != bound; });
    ActivateSessionResponse response;
    response.responseHeader.timestamp = Now();
    response.responseHeader.requestHandle = decoded.requestHeader.requestHandle;
    response.serverNonce = session->serverNonce;
    Answer(channel.channelId, request.requestId, response);
}

void UaServer::Impl::Launch(const ChannelInfo& channel, ServiceRequest request, bool write) {
    RequestHeader header;
    {
        BinaryReader r(request.body);
        Decode(r, header);
        if (!r.Ok()) {
            Fault(channel.channelId, request.requestId, 0, kBadDecodingError);
            return;
        }
    }
    StatusCode status;
    if (sessions_.Use(header.authenticationToken, channel.channelId, false, status) == nullptr) {
        Fault(channel.channelId, request.requestId, header.requestHandle, status);
        return;
    }
    const std::uint32_t channelId = channel.channelId;
    std::weak_ptr<bool> alive = alive_;
    // The worker reads the address space and tag values only; its browse state is its own.
    auto work = [this, alive, channelId, write, request = std::move(request)] {
        SessionSpaceState state(0);
        ServiceContext context{s_.space, s_.values, s_.clock, config_.serviceLimits, state};
        std::vector<std::uint8_t> answer =
            write ? CallWriteService(context, s_.writer, request.body)
                  : CallSpaceService(context, request.typeId, request.body)
                        .value_or(std::vector<std::uint8_t>{});
        s_.work.Post([this, alive, channelId, requestId = request.requestId,
                      answer = std::move(answer)]() mutable {
            if (alive.lock()) Send(channelId, requestId, std::move(answer));
        });
    };
    if (!s_.work.Launch(std::move(work))) {
        Fault(channelId, request.requestId, header.requestHandle, kBadResourceUnavailable);
    }
}

void UaServer::Impl::OnRequest(const ChannelInfo& channel, ServiceRequest request) {
    const std::uint32_t cid = channel.channelId;
    const std::uint32_t rid = request.requestId;
    const NodeId& type = request.typeId;
    if (type == BinaryEncodingId<FindServersRequest>()) {
        FindServersRequest decoded;
        StatusCode status;
        if (!DecodeRequest(request.body, decoded, status))
            return Fault(cid, rid, decoded.requestHeader.requestHandle, status);
        return Answer(cid, rid, FindServers(config_, decoded, Now()));
    }
    if (type == BinaryEncodingId<GetEndpointsRequest>()) {
        GetEndpointsRequest decoded;
        StatusCode status;
        if (!DecodeRequest(request.body, decoded, status))
            return Fault(cid, rid, decoded.requestHeader.requestHandle, status);
        return Answer(cid, rid, GetEndpoints(config_, decoded, Now()));
    }
    if (type == BinaryEncodingId<CreateSessionRequest>()) return CreateSession(channel, request);
    if (type == BinaryEncodingId<ActivateSessionRequest>())
        return ActivateSession(channel, request);
    if (type == BinaryEncodingId<CloseSessionRequest>()) {
        CloseSessionRequest decoded;
        StatusCode status;
        if (!DecodeRequest(request.body, decoded, status))
            return Fault(cid, rid, decoded.requestHeader.requestHandle, status);
        Session* session =
            sessions_.Use(decoded.requestHeader.authenticationToken, cid, true, status);
        if (session == nullptr) return Fault(cid, rid, decoded.requestHeader.requestHandle, status);
        // Subscriptions cannot be transferred to another session here, so they end with
        // the session whether deleteSubscriptions asks for it or not.
        CloseSessionResponse response;
        response.responseHeader.timestamp = Now();
        response.responseHeader.requestHandle = decoded.requestHeader.requestHandle;
        EndSession(sessions_.Close(session->key), "closed");
        return Answer(cid, rid, response);
    }
    if (type == BinaryEncodingId<CancelRequest>()) {
        Serve<CancelRequest>(channel, request, [&](Session& session, const CancelRequest& r) {
            std::vector<PublishOutcome> out;
            CancelResponse response;
            response.cancelCount = static_cast<std::uint32_t>(
                session.subscriptions->CancelPublishRequests(r.requestHandle, out));
            RoutePublish(session, out);
            response.responseHeader.timestamp = Now();
            response.responseHeader.requestHandle = r.requestHeader.requestHandle;
            Answer(cid, rid, response);
        });
        return;
    }
    if (type == NodeId::Numeric(0, kReadRequestEncodingId))
        return Launch(channel, std::move(request), false);
    if (type == BinaryEncodingId<WriteRequest>()) return Launch(channel, std::move(request), true);
    if (type == BinaryEncodingId<PublishRequest>()) {
        Serve<PublishRequest>(channel, request, [&](Session& session, const PublishRequest& r) {
            std::vector<PublishOutcome> out;
            Publish(PublishKey(cid, rid), r, *session.subscriptions, out);
            RoutePublish(session, out);
        });
        return;
    }
#define VELK_UA_SUBSCRIPTION_SERVICE(Name)                                                     \
    if (Serve<Name##Request>(channel, request, [&](Session& session, const Name##Request& r) { \
            Answer(cid, rid, Name(r, *session.subscriptions));                                 \
        }))                                                                                    \
        return;
    VELK_UA_SUBSCRIPTION_SERVICE(CreateSubscription)
    VELK_UA_SUBSCRIPTION_SERVICE(ModifySubscription)
    VELK_UA_SUBSCRIPTION_SERVICE(SetPublishingMode)
    VELK_UA_SUBSCRIPTION_SERVICE(Republish)
    VELK_UA_SUBSCRIPTION_SERVICE(DeleteSubscriptions)
    VELK_UA_SUBSCRIPTION_SERVICE(TransferSubscriptions)
    VELK_UA_SUBSCRIPTION_SERVICE(CreateMonitoredItems)
    VELK_UA_SUBSCRIPTION_SERVICE(ModifyMonitoredItems)
    VELK_UA_SUBSCRIPTION_SERVICE(SetMonitoringMode)
    VELK_UA_SUBSCRIPTION_SERVICE(SetTriggering)
    VELK_UA_SUBSCRIPTION_SERVICE(DeleteMonitoredItems)
#undef VELK_UA_SUBSCRIPTION_SERVICE

    // The address space services that need no controller run here, in the session's order.
    RequestHeader header;
    {
        BinaryReader r(request.body);
        Decode(r, header);
    }
    StatusCode status;
    Session* session = nullptr;
    auto context = [&]() -> std::optional<ServiceContext> {
        session = sessions_.Use(header.authenticationToken, cid, false, status);
        if (session == nullptr) return std::nullopt;
        return ServiceContext{s_.space, s_.values, s_.clock, config_.serviceLimits, session->space};
    };
    std::optional<ServiceContext> ctx = context();
    if (!ctx) {
        // An unknown service is unsupported whoever asks.
        SessionSpaceState scratch(0);
        ServiceContext probe{s_.space, s_.values, s_.clock, config_.serviceLimits, scratch};
        if (!CallSpaceService(probe, type, {}).has_value())
            return Fault(cid, rid, header.requestHandle, kBadServiceUnsupported);
        return Fault(cid, rid, header.requestHandle, status);
    }
    std::optional<std::vector<std::uint8_t>> answer = CallSpaceService(*ctx, type, request.body);
    if (!answer) return Fault(cid, rid, header.requestHandle, kBadServiceUnsupported);
    Send(cid, rid, std::move(*answer));
}

void UaServer::Impl::OnChannelClosed(std::uint32_t channelId) {
    for (const auto& [key, session] : sessions_.All()) {
        session->subscriptions->DropPublishRequests(
            [channelId](std::uint64_t k) { return ChannelOfKey(k) == channelId; });
    }
}

void UaServer::Impl::Tick() {
    for (std::unique_ptr<Session>& session : sessions_.TakeExpired()) {
        EndSession(std::move(session), "timed out");
    }
    std::vector<PublishOutcome> out;
    for (const auto& [key, session] : sessions_.All()) {
        session->subscriptions->Tick(out);
        RoutePublish(*session, out);
    }
}

FileTime UaServer::Impl::NextDue() const {
    FileTime next = sessions_.NextExpiry();
    for (const auto& [key, session] : sessions_.All()) {
        const FileTime due = session->subscriptions->NextDue();
        if (due != 0 && (next == 0 || due < next)) next = due;
    }
    return next;
}

UaServer::UaServer(UaServerServices services, UaServerConfig config)
    : impl_(std::make_unique<Impl>(std::move(services), std::move(config))) {}
UaServer::~UaServer() = default;
void UaServer::OnRequest(const ChannelInfo& channel, ServiceRequest request) {
    impl_->OnRequest(channel, std::move(request));
}
void UaServer::OnChannelClosed(std::uint32_t channelId) { impl_->OnChannelClosed(channelId); }
void UaServer::Tick() { impl_->Tick(); }
FileTime UaServer::NextDue() const { return impl_->NextDue(); }
std::size_t UaServer::SessionCount() const { return impl_->SessionCount(); }

}  // namespace velk::ua
