#include "opcua/server/session_manager.h"

#include <algorithm>
#include <cmath>

#include "opcua/security/crypto.h"
#include "opcua/space/plant_nodes.h"

namespace velk::ua {

namespace {

constexpr std::size_t kAuthenticationTokenLength = 32;

}  // namespace

SessionManager::SessionManager(const IClock& clock, SessionSettings settings, RandomSource random)
    : clock_(clock), settings_(settings), random_(std::move(random)) {}

bool SessionManager::Random(std::span<std::uint8_t> out) const {
    return random_ ? random_(out) : security::RandomBytes(out);
}

FileTime SessionManager::ExpiryOf(const Session& session) {
    return session.lastUse + static_cast<FileTime>(session.timeoutMs) * kFileTimeTicksPerMs;
}

Session* SessionManager::Create(std::uint32_t channelId, std::string name, std::string endpointUrl,
                                double requestedTimeoutMs, StatusCode& status) {
    if (sessions_.size() >= settings_.maxSessions) {
        status = kBadTooManySessions;
        return nullptr;
    }
    ByteString token;
    token.bytes.resize(kAuthenticationTokenLength);
    ByteString nonce;
    nonce.bytes.resize(kSessionNonceLength);
    if (!Random(token.bytes) || !Random(nonce.bytes)) {
        status = kBadInternalError;
        return nullptr;
    }
    auto session = std::make_unique<Session>(nextKey_++, settings_.maxContinuationPoints);
    session->sessionId = NodeId::Numeric(kPlantNamespaceIndex, nextSessionId_++);
    session->authenticationToken = NodeId{kPlantNamespaceIndex, std::move(token)};
    session->name = std::move(name);
    session->endpointUrl = std::move(endpointUrl);
    // NaN asks for nothing in particular: the longest.
    session->timeoutMs =
        std::isnan(requestedTimeoutMs)
            ? settings_.maxTimeoutMs
            : std::clamp(requestedTimeoutMs, settings_.minTimeoutMs, settings_.maxTimeoutMs);
    session->lastUse = clock_.NowUtc();
    session->channelId = channelId;
    session->serverNonce = std::move(nonce);
    Session* made = session.get();
    sessions_.emplace(made->key, std::move(session));
    status = kGood;
    return made;
}

Session* SessionManager::FindToken(const NodeId& token) {
    // A null token never matches: tokens are random ByteStrings.
    if (token.IsNull()) return nullptr;
    for (auto& [key, session] : sessions_) {
        if (session->authenticationToken == token) return session.get();
    }
    return nullptr;
}

Session* SessionManager::Use(const NodeId& token, std::uint32_t channelId, bool inactiveAllowed,
                             StatusCode& status) {
    Session* session = FindToken(token);
    if (session == nullptr) {
        status = kBadSessionIdInvalid;
        return nullptr;
    }
    if (session->channelId != channelId) {
        status = kBadSecureChannelIdInvalid;
        return nullptr;
    }
    if (!session->activated && !inactiveAllowed) {
        status = kBadSessionNotActivated;
        return nullptr;
    }
    session->lastUse = clock_.NowUtc();
    status = kGood;
    return session;
}

StatusCode SessionManager::CheckIdentity(const ExtensionObject& identity,
                                         const Session& session) const {
    BinaryReader outer{std::span<const std::uint8_t>{}};
    // No token at all stands for the anonymous user.
    const bool none =
        identity.encoding == ExtensionObject::Encoding::kNone && identity.typeId.IsNull();
    if (none || identity.typeId == BinaryEncodingId<AnonymousIdentityToken>()) {
        if (!none) {
            AnonymousIdentityToken anonymous;
            if (FromExtensionObject(identity, anonymous, outer) != kGood)
                return kBadIdentityTokenInvalid;
            if (anonymous.policyId != kAnonymousPolicyId) return kBadIdentityTokenInvalid;
        }
        return settings_.allowAnonymous ? kGood : kBadIdentityTokenRejected;
    }
    if (identity.typeId == BinaryEncodingId<UserNameIdentityToken>()) {
        UserNameIdentityToken user;
        if (FromExtensionObject(identity, user, outer) != kGood) return kBadIdentityTokenInvalid;
        if (user.policyId != kUserNamePolicyId) return kBadIdentityTokenInvalid;
        if (settings_.users == nullptr) return kBadIdentityTokenRejected;
        return settings_.users->Authenticate(user, session.serverNonce.bytes);
    }
    return kBadIdentityTokenInvalid;
}

Session* SessionManager::Activate(const NodeId& token, std::uint32_t channelId,
                                  const ExtensionObject& identity, StatusCode& status) {
    Session* session = FindToken(token);
    if (session == nullptr) {
        status = kBadSessionIdInvalid;
        return nullptr;
    }
    if (!session->activated && session->channelId != channelId) {
        status = kBadSecureChannelIdInvalid;
        return nullptr;
    }
    status = CheckIdentity(identity, *session);
    if (status != kGood) return nullptr;
    ByteString nonce;
    nonce.bytes.resize(kSessionNonceLength);
    if (!Random(nonce.bytes)) {
        status = kBadInternalError;
        return nullptr;
    }
    session->serverNonce = std::move(nonce);
    session->channelId = channelId;
    session->activated = true;
    session->lastUse = clock_.NowUtc();
    return session;
}

std::unique_ptr<Session> SessionManager::Close(std::uint64_t key) {
    const auto it = sessions_.find(key);
    if (it == sessions_.end()) return nullptr;
    std::unique_ptr<Session> session = std::move(it->second);
    sessions_.erase(it);
    return session;
}

std::vector<std::unique_ptr<Session>> SessionManager::TakeExpired() {
    const FileTime now = clock_.NowUtc();
    std::vector<std::unique_ptr<Session>> expired;
    for (auto it = sessions_.begin(); it != sessions_.end();) {
        if (ExpiryOf(*it->second) <= now) {
            expired.push_back(std::move(it->second));
            it = sessions_.erase(it);
        } else {
            ++it;
        }
    }
    return expired;
}

FileTime SessionManager::NextExpiry() const {
    FileTime next = 0;
    for (const auto& [key, session] : sessions_) {
        const FileTime at = ExpiryOf(*session);
        if (next == 0 || at < next) next = at;
    }
    return next;
}

Session* SessionManager::Find(std::uint64_t key) {
    const auto it = sessions_.find(key);
    return it == sessions_.end() ? nullptr : it->second.get();
}

}  // namespace velk::ua
