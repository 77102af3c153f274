#pragma once
// "--version" of every program: its name and the product version, the same version that the
// package carries, the server reports in its status and writes to the trace file at start.
#include <cstdio>
#include <string_view>

#include "version.h"

namespace velk {

inline bool IsVersionRequest(int argc, char** argv) {
    return argc == 2 && std::string_view(argv[1]) == "--version";
}

inline int PrintVersion(const char* program) {
    std::printf("%s %s\n", program, VELK_VERSION_TEXT);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace velk
