#include "opcua/security/user_directory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "opcua/security/user_password.h"
#include "tests/support/fake_clock.h"

namespace velk::ua::security {
namespace {

using velk::testing::FakeClock;

// Cheap hashes keep the tests quick; the server's own are made at the default cost.
constexpr ScryptCost kCheap{1u << 10, 8, 1};

std::vector<UaUserRecord> Users() {
    return {{"alice", UaRole::kOperator, HashPassword("alice-pw", kCheap)},
            {"bob", UaRole::kViewer, HashPassword("bob-pw", kCheap)}};
}

struct Traces {
    std::vector<std::string> lines;
    FailedLoginThrottle::TraceSink Sink() {
        return [this](std::string_view text) { lines.emplace_back(text); };
    }
};

TEST(UaUserDirectoryTest, AnswersEachLoginWithTheUsersRoleOrOneRefusal) {
    FakeClock clock;
    Traces traces;
    UaUserDirectory directory(Users(), clock, traces.Sink());
    struct Case {
        const char* name;
        const char* password;
        StatusCode status;
        UaRole role;
    };
    const Case cases[] = {
        {"alice", "alice-pw", kGood, UaRole::kOperator},
        {"bob", "bob-pw", kGood, UaRole::kViewer},
        {"ALICE", "alice-pw", kGood, UaRole::kOperator},  // names as the store compares them
        {"alice", "bob-pw", kBadUserAccessDenied, UaRole::kViewer},
        {"alice", "", kBadUserAccessDenied, UaRole::kViewer},
        {"alice", "ALICE-PW", kBadUserAccessDenied, UaRole::kViewer},
        {"mallory", "alice-pw", kBadUserAccessDenied, UaRole::kViewer},
        {"", "", kBadUserAccessDenied, UaRole::kViewer},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + "/" + c.password);
        // A fresh address each time, so that the throttle stays out of this table.
        const UaLoginResult result =
            directory.Authenticate(c.name, c.password, std::string("10.0.0.") + c.name);
        EXPECT_EQ(result.status, c.status);
        if (c.status == kGood) {
            EXPECT_EQ(result.role, c.role);
        }
    }
}

TEST(UaUserDirectoryTest, HoldsOffAnAddressAfterThreeFailuresEvenWithTheRightPassword) {
    FakeClock clock;
    Traces traces;
    UaUserDirectory directory(Users(), clock, traces.Sink());
    const std::string peer = "192.168.1.50";
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(directory.Authenticate("nobody", "guess", peer).status, kBadUserAccessDenied);
    }
    // Held: the right password is not even checked, and the answer is the same refusal.
    EXPECT_EQ(directory.Authenticate("alice", "alice-pw", peer).status, kBadUserAccessDenied);
    // Another address is not affected.
    EXPECT_EQ(directory.Authenticate("alice", "alice-pw", "192.168.1.51").status, kGood);
    clock.Advance(FailedLoginThrottle::kFirstHoldMs);
    EXPECT_EQ(directory.Authenticate("alice", "alice-pw", peer).status, kGood);
    // The success cleared the address: three more failures are needed for a new hold.
    EXPECT_EQ(directory.Authenticate("alice", "x", peer).status, kBadUserAccessDenied);
    EXPECT_EQ(directory.Authenticate("alice", "alice-pw", peer).status, kGood);
    ASSERT_EQ(traces.lines.size(), 1u);
    EXPECT_NE(traces.lines[0].find(peer), std::string::npos);
}

TEST(FailedLoginThrottleTest, DoublesTheHoldUpToItsLimitAndTracesOncePerEpisode) {
    FakeClock clock;
    Traces traces;
    FailedLoginThrottle throttle(clock, traces.Sink());
    const std::string peer = "10.1.1.1";
    for (int i = 0; i < FailedLoginThrottle::kFreeFailures; ++i) {
        ASSERT_TRUE(throttle.Admit(peer)) << i;
        throttle.Failed(peer);
    }
    // Each hold lasts its expected time: refused a millisecond before its end, admitted at
    // its end, then failing again.
    std::vector<std::uint64_t> holds;
    for (int round = 0; round < 8; ++round) {
        std::uint64_t held = 0;
        while (!throttle.Admit(peer)) {
            clock.Advance(1);
            ++held;
            ASSERT_LT(held, 60'000u) << "never admitted again";
        }
        holds.push_back(held);
        throttle.Failed(peer);
    }
    const std::vector<std::uint64_t> expected = {1'000,  2'000,  4'000,  8'000,
                                                 16'000, 30'000, 30'000, 30'000};
    EXPECT_EQ(holds, expected);
    EXPECT_EQ(traces.lines.size(), 1u);

    // A success ends the episode; the next hold is traced again and starts short.
    clock.Advance(30'000);
    throttle.Succeeded(peer);
    for (int i = 0; i < FailedLoginThrottle::kFreeFailures; ++i) throttle.Failed(peer);
    EXPECT_FALSE(throttle.Admit(peer));
    clock.Advance(1'000);
    EXPECT_TRUE(throttle.Admit(peer));
    EXPECT_EQ(traces.lines.size(), 2u);
}

TEST(FailedLoginThrottleTest, FailuresFurtherApartThanTheWindowNeverHold) {
    FakeClock clock;
    Traces traces;
    FailedLoginThrottle throttle(clock, traces.Sink());
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(throttle.Admit("10.2.2.2")) << i;
        throttle.Failed("10.2.2.2");
        clock.Advance(FailedLoginThrottle::kFailureWindowMs / 2 + 1);
    }
    EXPECT_TRUE(traces.lines.empty());
}

TEST(FailedLoginThrottleTest, KeepsItsTableBoundedAndTheHeldAddressHeld) {
    FakeClock clock;
    Traces traces;
    FailedLoginThrottle throttle(clock, traces.Sink(), 4);
    for (int i = 0; i < 3; ++i) throttle.Failed("10.9.9.9");
    // A flood of other addresses, each failing once, must not push the held one out.
    for (int i = 0; i < 100; ++i) {
        clock.Advance(1);
        throttle.Failed("10.3.0." + std::to_string(i));
    }
    EXPECT_LE(throttle.Tracked(), 4u);
    EXPECT_FALSE(throttle.Admit("10.9.9.9"));
    // Entries that no longer hold anything are dropped once their window has passed.
    clock.Advance(FailedLoginThrottle::kFailureWindowMs + FailedLoginThrottle::kMaxHoldMs);
    throttle.Failed("10.4.4.4");
    EXPECT_EQ(throttle.Tracked(), 1u);
}

TEST(FailedLoginThrottleTest, SurvivesTheWrapOfTheTickCount) {
    FakeClock clock;
    clock.Advance(0xFFFFFFFFull - 500);  // 500 ms before the tick count wraps
    Traces traces;
    FailedLoginThrottle throttle(clock, traces.Sink());
    for (int i = 0; i < 3; ++i) throttle.Failed("10.5.5.5");
    clock.Advance(999);
    EXPECT_FALSE(throttle.Admit("10.5.5.5"));
    clock.Advance(1);
    EXPECT_TRUE(throttle.Admit("10.5.5.5"));
}

TEST(UaRoleTest, ViewersLoseTheWriteBitsOperatorsKeepThem) {
    struct Case {
        std::uint8_t accessLevel;
        std::uint8_t viewer;
        std::uint8_t operatorLevel;
    };
    // CurrentRead 0x01, CurrentWrite 0x02, HistoryRead 0x04, HistoryWrite 0x08.
    const Case cases[] = {
        {0x01, 0x01, 0x01}, {0x03, 0x01, 0x03}, {0x02, 0x00, 0x02},
        {0x0F, 0x05, 0x0F}, {0x00, 0x00, 0x00},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(UserAccessLevelFor(c.accessLevel, UaRole::kViewer), c.viewer) << +c.accessLevel;
        EXPECT_EQ(UserAccessLevelFor(c.accessLevel, UaRole::kOperator), c.operatorLevel)
            << +c.accessLevel;
    }
    EXPECT_FALSE(RoleMayWrite(UaRole::kViewer));
    EXPECT_TRUE(RoleMayWrite(UaRole::kOperator));
    EXPECT_FALSE(RoleMayWrite(kAnonymousRole));
}

}  // namespace
}  // namespace velk::ua::security
