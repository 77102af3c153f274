#pragma once
// The OPC UA server as logic without sockets: the sessions, the discovery services and the
// routing of every service request that an open secure channel delivers to its service, with
// the answers going back through IChannelOutput. One thread drives it (the UA front's): it
// hands in the requests and channel ends, calls Tick when NextDue comes, and runs what
// IServiceWork::Post gives it. Service calls that may wait for a controller (Read, Write) run
// on IServiceWork::Launch's workers, which read only the address space and the tag values,
// and post their answers back; so a controller that does not answer never holds the others.
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "opcua/secure_channel_messages.h"
#include "opcua/server/session_manager.h"
#include "opcua/server_secure_channel.h"
#include "opcua/space/address_space.h"
#include "opcua/space/service_context.h"
#include "opcua/space/service_limits.h"
#include "opcua/space/write_service.h"
#include "opcua/subscription/sampling_source.h"
#include "opcua/subscription/subscription_limits.h"
#include "opcua/variant.h"
#include "platform/clock.h"

namespace velk::ua {

// Where the answers go: the channel of the given id sends the message (type id and body
// encoded) as the response to requestId. A channel that has closed drops it.
class IChannelOutput {
  public:
    virtual ~IChannelOutput() = default;
    virtual void SendResponse(std::uint32_t channelId, std::uint32_t requestId,
                              std::vector<std::uint8_t> message) = 0;
};

class IServiceWork {
  public:
    virtual ~IServiceWork() = default;
    // Runs work on a worker thread; false when refused (stopping, or the queue is full).
    virtual bool Launch(std::function<void()> work) = 0;
    // Runs task on the thread that drives the server, soon; from any thread.
    virtual void Post(std::function<void()> task) = 0;
};

// What the server tells of a channel with each request.
struct ChannelInfo {
    std::uint32_t channelId = 0;
    std::string endpointUrl;
    std::string securityPolicyUri;
    MessageSecurityMode securityMode = MessageSecurityMode::kNone;
    // The client's certificate (DER) of a secured channel; empty with None.
    ByteString clientCertificate;
    // The peer's address, for the trace.
    std::string peerAddress;
};

// One endpoint the server offers: a security policy and mode on the server's URL.
struct EndpointOffer {
    std::string securityPolicyUri;
    MessageSecurityMode securityMode = MessageSecurityMode::kNone;
};

struct UaServerConfig {
    std::string applicationUri = "urn:velk:ModbusOPCServer";
    std::string productUri = "urn:velk:ModbusOPCServer";
    std::string applicationName = "VELK Modbus OPC Server";
    // The URLs the server is reached at (one per bound address), as GetEndpoints gives them.
    std::vector<std::string> endpointUrls;
    std::vector<EndpointOffer> endpoints;
    // The server's certificate (DER); empty without security.
    ByteString serverCertificate;
    bool allowAnonymous = false;
    std::uint32_t maxSessions = 100;
    // Bounds of a session's revised timeout.
    double minSessionTimeoutMs = 10'000;
    double maxSessionTimeoutMs = 3'600'000;
    ServiceLimits serviceLimits;
    SubscriptionLimits subscriptionLimits;
};

struct UaServerServices {
    const IClock& clock;
    const IAddressSpace& space;
    ITagValueReader& values;
    ITagValueWriter& writer;
    // Called from its own threads; the server posts its samples to its thread.
    ISamplingSource& sampling;
    IServiceWork& work;
    IChannelOutput& output;
    // Receives the trace lines of sessions and subscriptions (made, ended, refused).
    std::function<void(const std::string&)> trace;
    // Called with the number of sessions whenever it changes (the client count).
    std::function<void(std::size_t)> sessionCountChanged;
    // The source of session tokens and nonces; empty: the system's random source.
    RandomSource random;
    // Checks user-name identities; null: every user name is refused.
    IUserAuthenticator* userAuthenticator = nullptr;
};

class UaServer {
  public:
    UaServer(UaServerServices services, UaServerConfig config);
    ~UaServer();
    UaServer(const UaServer&) = delete;
    UaServer& operator=(const UaServer&) = delete;

    // A request that came in on an open channel; its answer goes out through IChannelOutput,
    // now or later (Publish, Read, Write).
    void OnRequest(const ChannelInfo& channel, ServiceRequest request);
    // The channel is gone: its queued Publish requests are dropped; its sessions stay until
    // their timeout, for a client that reconnects and activates them on a new channel.
    void OnChannelClosed(std::uint32_t channelId);
    // Ends sessions past their timeout and runs the subscriptions' cycles that are due.
    void Tick();
    // When Tick has work next; 0 with nothing to run.
    FileTime NextDue() const;
    std::size_t SessionCount() const;

  private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace velk::ua
