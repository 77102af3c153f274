#pragma once
// The machine settings store of a server under test: its trace file, the configuration it
// opens (the first recent file), the ports of its simulated controllers and its options.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace velk::testing {

struct ServerStoreText {
    std::string traceFile;   // TraceFile\FileName; none when empty
    std::string recentFile;  // Recent File List\File1; none when empty
    std::vector<std::pair<std::string, std::uint16_t>> tcpPorts;  // controller address, port
    bool changelessUpdate = false;
    std::string extra;  // further keys, in registry-export syntax with CR LF line ends

    // The store in registry-export syntax, CR LF line ends.
    std::string Text() const;
    // Writes it; false when the file cannot be written.
    bool WriteTo(const std::string& path) const;
};

}  // namespace velk::testing
