#pragma once
// A primary host application's STATE message (Sparkplug 3.0), which it publishes retained
// on spBv1.0/STATE/<host id>: a JSON object {"online": true|false, "timestamp": <ms>}.
#include <cstdint>
#include <optional>
#include <string_view>

namespace velk::sparkplug {

struct HostState {
    bool online = false;
    std::uint64_t timestamp = 0;  // ms since 1970-01-01 UTC
};

// The state in the payload: a JSON object whose members are strings, numbers, booleans or
// null, with a boolean "online" and an unsigned integer "timestamp" (other members are
// ignored). None for anything else.
std::optional<HostState> ParseHostState(std::string_view json);

}  // namespace velk::sparkplug
