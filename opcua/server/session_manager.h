#pragma once
// The server's sessions: their ids and secret authentication tokens, the bounds of their
// timeouts and number, the identity they are activated with and the channel they are bound
// to. A session serves requests only on the channel it was last activated on, so a token
// seen on another connection is of no use there. Driven by the server's one thread.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "opcua/server/session_messages.h"
#include "opcua/space/service_context.h"
#include "opcua/subscription/session_subscriptions.h"
#include "platform/clock.h"

namespace velk::ua {

// Fills the bytes with random ones; false when it has none to give.
using RandomSource = std::function<bool(std::span<std::uint8_t>)>;

// Checks a user name and password. Nothing is wired yet: without one, every user-name
// identity is refused.
class IUserAuthenticator {
  public:
    virtual ~IUserAuthenticator() = default;
    // Good, or BadUserAccessDenied / BadIdentityTokenRejected. serverNonce is the one the
    // session gave the client last, which an encrypted password is bound to.
    virtual StatusCode Authenticate(const UserNameIdentityToken& token,
                                    std::span<const std::uint8_t> serverNonce) = 0;
};

// The policy ids of the user token policies the endpoints offer.
inline constexpr std::string_view kAnonymousPolicyId = "anonymous";
inline constexpr std::string_view kUserNamePolicyId = "username";

inline constexpr std::size_t kSessionNonceLength = 32;

struct SessionSettings {
    std::uint32_t maxSessions = 100;
    double minTimeoutMs = 10'000;
    double maxTimeoutMs = 3'600'000;
    std::uint16_t maxContinuationPoints = 10;
    bool allowAnonymous = false;
    IUserAuthenticator* users = nullptr;
};

struct Session {
    Session(std::uint64_t key, std::uint16_t maxContinuationPoints)
        : key(key), space(maxContinuationPoints) {}

    // Names the session to the server's own parts (the posted samples); never reused.
    const std::uint64_t key;
    NodeId sessionId;
    NodeId authenticationToken;
    std::string name;
    std::string endpointUrl;
    double timeoutMs = 0;
    FileTime lastUse = 0;
    std::uint32_t channelId = 0;
    bool activated = false;
    ByteString serverNonce;
    SessionSpaceState space;
    // Set by the server; the source first, so that it outlives the subscriptions that stop
    // their sampling through it.
    std::unique_ptr<ISamplingSource> sampling;
    std::unique_ptr<SessionSubscriptions> subscriptions;
};

class SessionManager {
  public:
    // random: empty uses the system's random source.
    SessionManager(const IClock& clock, SessionSettings settings, RandomSource random = {});

    // A new session bound to channelId, not yet activated, its timeout requestedMs within
    // the bounds. Null with BadTooManySessions, or BadInternalError without random bytes.
    Session* Create(std::uint32_t channelId, std::string name, std::string endpointUrl,
                    double requestedTimeoutMs, StatusCode& status);
    // The session of token for a request on channelId, its timeout restarted. Null with
    // BadSessionIdInvalid (unknown token), BadSecureChannelIdInvalid (bound to another
    // channel) or BadSessionNotActivated (unless inactiveAllowed).
    Session* Use(const NodeId& token, std::uint32_t channelId, bool inactiveAllowed,
                 StatusCode& status);
    // Checks the identity token and binds the session to channelId with a new server
    // nonce. A session never activated is activated only on the channel that made it.
    // BadSessionIdInvalid, BadSecureChannelIdInvalid, BadIdentityTokenInvalid (a token of
    // another type, one that does not decode, or a policy id not offered),
    // BadIdentityTokenRejected (anonymous not allowed, user names not checked yet), or the
    // authenticator's code.
    Session* Activate(const NodeId& token, std::uint32_t channelId, const ExtensionObject& identity,
                      StatusCode& status);
    // Removes the session; its subscriptions go with it.
    std::unique_ptr<Session> Close(std::uint64_t key);
    // Removes and gives the sessions whose timeout has passed since their last request.
    std::vector<std::unique_ptr<Session>> TakeExpired();
    // When the next session times out; 0 without sessions.
    FileTime NextExpiry() const;

    Session* Find(std::uint64_t key);
    std::size_t Count() const { return sessions_.size(); }
    const std::map<std::uint64_t, std::unique_ptr<Session>>& All() const { return sessions_; }

  private:
    StatusCode CheckIdentity(const ExtensionObject& identity, const Session& session) const;
    bool Random(std::span<std::uint8_t> out) const;
    Session* FindToken(const NodeId& token);
    static FileTime ExpiryOf(const Session& session);

    const IClock& clock_;
    const SessionSettings settings_;
    const RandomSource random_;
    std::map<std::uint64_t, std::unique_ptr<Session>> sessions_;
    std::uint64_t nextKey_ = 1;
    std::uint32_t nextSessionId_ = 1;
};

}  // namespace velk::ua
