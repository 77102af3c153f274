#include "opcua/security/user_directory.h"

#include <algorithm>
#include <tuple>

#include "core/trace_file.h"
#include "opcua/security/user_password.h"
#include "platform/text.h"

namespace velk::ua::security {
namespace {

// The AccessLevel bits that let a client change something: CurrentWrite and HistoryWrite.
constexpr std::uint8_t kWriteBits = 0x02 | 0x08;

}  // namespace

std::string_view RoleName(UaRole role) { return role == UaRole::kOperator ? "Operator" : "Viewer"; }

std::optional<UaRole> ParseRole(std::string_view name) {
    if (EqualsNoCase(name, "Viewer")) return UaRole::kViewer;
    if (EqualsNoCase(name, "Operator")) return UaRole::kOperator;
    return std::nullopt;
}

bool RoleMayWrite(UaRole role) { return role == UaRole::kOperator; }

std::uint8_t UserAccessLevelFor(std::uint8_t accessLevel, UaRole role) {
    if (RoleMayWrite(role)) return accessLevel;
    return static_cast<std::uint8_t>(accessLevel & ~kWriteBits);
}

FailedLoginThrottle::FailedLoginThrottle(const IClock& clock, TraceSink trace,
                                         std::size_t maxAddresses)
    : clock_(clock),
      trace_(std::move(trace)),
      maxAddresses_(std::max<std::size_t>(maxAddresses, 1)),
      lastTick_(clock.TickCount()) {
    if (!trace_) trace_ = [](std::string_view text) { velk::Trace(text); };
}

std::uint64_t FailedLoginThrottle::NowMs() {
    const std::uint32_t tick = clock_.TickCount();
    elapsedMs_ += static_cast<std::uint32_t>(tick - lastTick_);
    lastTick_ = tick;
    return elapsedMs_;
}

// Drops the entries that no longer hold anything back: no hold running and the last
// failure out of the window.
void FailedLoginThrottle::Forget(std::uint64_t now) {
    std::erase_if(entries_, [now](const auto& item) {
        const Entry& entry = item.second;
        return now >= entry.heldUntilMs && now - entry.lastFailureMs >= kFailureWindowMs;
    });
}

bool FailedLoginThrottle::Admit(const std::string& address) {
    const std::uint64_t now = NowMs();
    const auto found = entries_.find(address);
    return found == entries_.end() || now >= found->second.heldUntilMs;
}

void FailedLoginThrottle::Failed(const std::string& address) {
    const std::uint64_t now = NowMs();
    auto found = entries_.find(address);
    if (found == entries_.end()) {
        Forget(now);
        if (entries_.size() >= maxAddresses_) {
            // Room is made at the cost of the least suspect address, so that a flood of
            // new addresses cannot push out the one being held off.
            const auto suspicion = [](const Entry& e) {
                return std::tuple(e.holdMs != 0, e.failures, e.lastFailureMs);
            };
            entries_.erase(std::min_element(entries_.begin(), entries_.end(),
                                            [&](const auto& a, const auto& b) {
                                                return suspicion(a.second) < suspicion(b.second);
                                            }));
        }
        found = entries_.emplace(address, Entry{now, now, 0, 0, 0, false}).first;
    }
    Entry& entry = found->second;
    if (entry.holdMs == 0 && now - entry.firstFailureMs >= kFailureWindowMs) {
        // An old failure outside the window no longer counts.
        entry.firstFailureMs = now;
        entry.failures = 0;
    }
    entry.lastFailureMs = now;
    ++entry.failures;
    if (entry.holdMs == 0 && entry.failures < kFreeFailures) return;
    entry.holdMs = entry.holdMs == 0 ? kFirstHoldMs : std::min(entry.holdMs * 2, kMaxHoldMs);
    entry.heldUntilMs = now + entry.holdMs;
    if (!entry.traced) {
        entry.traced = true;
        trace_("OPC UA: repeated failed logins from " + address + ", further attempts are delayed");
    }
}

void FailedLoginThrottle::Succeeded(const std::string& address) { entries_.erase(address); }

UaUserDirectory::UaUserDirectory(std::vector<UaUserRecord> users, const IClock& clock,
                                 FailedLoginThrottle::TraceSink trace)
    : users_(std::move(users)), throttle_(clock, std::move(trace)) {}

const UaUserRecord* UaUserDirectory::Find(std::string_view name) const {
    for (const UaUserRecord& user : users_) {
        if (EqualsNoCase(user.name, name)) return &user;
    }
    return nullptr;
}

UaLoginResult UaUserDirectory::Authenticate(std::string_view name, std::string_view password,
                                            const std::string& peerAddress) {
    if (!throttle_.Admit(peerAddress)) return {};
    const UaUserRecord* user = Find(name);
    // An unknown user is checked against a fixed hash, the same work as a known one.
    const bool matches = VerifyPassword(password, user ? &user->passwordHash : nullptr);
    if (!matches || user == nullptr) {
        throttle_.Failed(peerAddress);
        return {};
    }
    throttle_.Succeeded(peerAddress);
    return {kGood, user->role};
}

}  // namespace velk::ua::security
