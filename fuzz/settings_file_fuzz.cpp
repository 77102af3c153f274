// Fuzz target of the settings file's text, without any file: any input either is refused
// with the line that is wrong, or parses to a tree whose written text reads back to the same
// text again (the store rewrites a file it read without changing what it holds).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/reg_export_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    velk::RegKey first;
    const std::string problem = velk::ParseRegExport(input, first);
    if (!problem.empty()) {
        if (!problem.starts_with("line ")) std::abort();
        return 0;
    }
    const std::string written = velk::FormatRegExport(first);
    velk::RegKey second;
    if (!velk::ParseRegExport(written, second).empty()) std::abort();
    if (velk::FormatRegExport(second) != written) std::abort();
    return 0;
}
