#pragma once
// What the bus benchmarks ask of the server process they run: its process id once its name is
// on the bus, and CPU seconds from /proc.
#include <sdbus-c++/sdbus-c++.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "tests/platform/dbus/bus_test_client.h"
#include "tests/support/child_process.h"

namespace velk::bench {

// User and system CPU seconds of a /proc stat file (a process's or a thread's); the name in
// it to *name when asked.
inline double CpuSecondsOf(const std::string& statPath, std::string* name = nullptr) {
    std::ifstream stat(statPath);
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const auto open = text.find('(');
    const auto close = text.rfind(')');
    if (open == std::string::npos || close == std::string::npos) return 0;
    if (name) *name = text.substr(open + 1, close - open - 1);
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) utime = std::stoull(field);
        if (i == 15) stime = std::stoull(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

inline double CpuSeconds(pid_t pid) {
    return CpuSecondsOf("/proc/" + std::to_string(pid) + "/stat");
}

// The process id of the owner of the bus name, once it is there; 0 after the time-out.
inline std::uint32_t WaitForBusOwner(testing::BusTestClient& client, const std::string& name,
                                     std::chrono::milliseconds timeout) {
    std::uint32_t pid = 0;
    testing::WaitUntil(
        [&] {
            try {
                client.Proxy("org.freedesktop.DBus", "/org/freedesktop/DBus")
                    ->callMethod("GetConnectionUnixProcessID")
                    .onInterface("org.freedesktop.DBus")
                    .withArguments(name)
                    .storeResultsTo(pid);
                return true;
            } catch (const sdbus::Error&) {
                return false;
            }
        },
        timeout);
    return pid;
}

}  // namespace velk::bench
