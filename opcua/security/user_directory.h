#pragma once
// The users of the OPC UA server and what their roles allow. A Viewer browses, reads and
// subscribes; an Operator also writes tags that have write access. Anonymous sessions are
// Viewers.
//
// A login is answered alike whatever was wrong with it: an unknown user, a wrong password or
// an address refused for its earlier failures all give BadUserAccessDenied, and an unknown
// user costs the same scrypt work as a known one, so neither the code nor the time tells
// which user names exist.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "opcua/status_codes.h"
#include "platform/clock.h"

namespace velk::ua::security {

enum class UaRole { kViewer, kOperator };

// "Viewer", "Operator".
std::string_view RoleName(UaRole role);
// A role from its name, without regard to ASCII case; none for another name.
std::optional<UaRole> ParseRole(std::string_view name);

bool RoleMayWrite(UaRole role);
// The UserAccessLevel of a variable with this AccessLevel for a session of this role: a
// Viewer loses the write bits (current and history), an Operator keeps them all.
std::uint8_t UserAccessLevelFor(std::uint8_t accessLevel, UaRole role);

// The role of an anonymous session.
inline constexpr UaRole kAnonymousRole = UaRole::kViewer;

struct UaUserRecord {
    std::string name;
    UaRole role = UaRole::kViewer;
    std::string passwordHash;  // as HashPassword makes it
    bool operator==(const UaUserRecord&) const = default;
};

// Slows down a client address that keeps failing to log in. After kFreeFailures failures
// within kFailureWindowMs, the address is held off: attempts during the hold are refused
// without checking the password, and each failure after a hold doubles it, from kFirstHoldMs
// up to kMaxHoldMs. A success clears the address. The table keeps at most maxAddresses
// entries; when full, the least suspect one (not held, fewest failures, oldest) makes room,
// and entries with no hold and no failure within the window are dropped. Each hold episode of
// an address is traced once, when it begins.
class FailedLoginThrottle {
  public:
    using TraceSink = std::function<void(std::string_view)>;

    static constexpr int kFreeFailures = 3;
    static constexpr std::uint64_t kFailureWindowMs = 60'000;
    static constexpr std::uint64_t kFirstHoldMs = 1'000;
    static constexpr std::uint64_t kMaxHoldMs = 30'000;
    static constexpr std::size_t kDefaultMaxAddresses = 1024;

    // trace: where the holds are reported (the server's trace when null).
    explicit FailedLoginThrottle(const IClock& clock, TraceSink trace = nullptr,
                                 std::size_t maxAddresses = kDefaultMaxAddresses);

    // Whether an attempt from this address may be checked now.
    bool Admit(const std::string& address);
    void Failed(const std::string& address);
    void Succeeded(const std::string& address);

    // Addresses with an entry (for tests of the table's bound).
    std::size_t Tracked() const { return entries_.size(); }

  private:
    struct Entry {
        std::uint64_t firstFailureMs = 0;  // start of the counted window
        std::uint64_t lastFailureMs = 0;
        int failures = 0;          // within the window
        std::uint64_t holdMs = 0;  // length of the current hold; 0: none yet
        std::uint64_t heldUntilMs = 0;
        bool traced = false;  // this episode's hold was reported
    };
    // Milliseconds of the clock's tick count, carried past its wrap.
    std::uint64_t NowMs();
    void Forget(std::uint64_t now);

    const IClock& clock_;
    TraceSink trace_;
    std::size_t maxAddresses_;
    std::uint32_t lastTick_ = 0;
    std::uint64_t elapsedMs_ = 0;
    std::map<std::string, Entry> entries_;
};

struct UaLoginResult {
    StatusCode status = kBadUserAccessDenied;
    UaRole role = UaRole::kViewer;  // meaningful when status is Good
};

// The users a server knows, with the throttle of failed logins. Names compare without
// regard to ASCII case, as the settings store keeps them. Not thread-safe: the server's
// thread owns it.
class UaUserDirectory {
  public:
    explicit UaUserDirectory(std::vector<UaUserRecord> users, const IClock& clock,
                             FailedLoginThrottle::TraceSink trace = nullptr);

    // Good with the user's role for a known user with the right password; otherwise
    // BadUserAccessDenied, also for an address the throttle holds off.
    UaLoginResult Authenticate(std::string_view name, std::string_view password,
                               const std::string& peerAddress);

    const std::vector<UaUserRecord>& Users() const { return users_; }

  private:
    const UaUserRecord* Find(std::string_view name) const;

    std::vector<UaUserRecord> users_;
    FailedLoginThrottle throttle_;
};

}  // namespace velk::ua::security
