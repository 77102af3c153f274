#include "sparkplug/host_state.h"

#include <gtest/gtest.h>

namespace velk::sparkplug {
namespace {

TEST(HostStateTest, TheOnlineFlagAndTimestampOfAStateObject) {
    const struct {
        const char* json;
        bool valid;
        bool online = false;
        std::uint64_t timestamp = 0;
    } cases[] = {
        {R"({"online" : true, "timestamp" : 1668114759262})", true, true, 1668114759262},
        {" {\n\"timestamp\":5,\"online\":false}\r\n", true, false, 5},
        {R"({"online":true,"timestamp":1,"x":"a\"}","y":null,"z":-1.5e3})", true, true, 1},
        {R"({"online":true})", false},
        {R"({"timestamp":1})", false},
        {R"({"online":"true","timestamp":1})", false},
        {R"({"online":1,"timestamp":1})", false},
        {R"({"online":true,"timestamp":-1})", false},
        {R"({"online":true,"timestamp":1.5})", false},
        {R"({"online":true,"timestamp":18446744073709551616})", false},  // past 64 bits
        {R"({"online":true,"timestamp":1} x)", false},
        {R"({"online":true "timestamp":1})", false},
        {R"({"online":true,"timestamp":1,})", false},
        {R"({"online":tru,"timestamp":1})", false},
        {R"(["online",true])", false},
        {"", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        const auto state = ParseHostState(c.json);
        ASSERT_EQ(state.has_value(), c.valid);
        if (!state) continue;
        EXPECT_EQ(state->online, c.online);
        EXPECT_EQ(state->timestamp, c.timestamp);
    }
}

}  // namespace
}  // namespace velk::sparkplug
