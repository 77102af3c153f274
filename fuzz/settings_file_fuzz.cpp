// Fuzz target of the settings file: any input either is refused as malformed, and then stays
// untouched by every change, or reads and writes back to a file that the store writes again
// byte for byte.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "platform/linux/reg_file_store.h"

namespace {

class FuzzDirectory {
  public:
    FuzzDirectory() {
        std::string pattern = (std::filesystem::temp_directory_path() / "velkfuzzXXXXXX").string();
        if (!::mkdtemp(pattern.data())) std::abort();
        path_ = pattern;
    }
    ~FuzzDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string File() const { return (path_ / "settings.reg").string(); }

  private:
    std::filesystem::path path_;
};

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Adds a key and takes it away again: the file is rewritten from what the store read.
void Rewrite(velk::RegFileStore& store) {
    constexpr const char* kProbe = "HKEY_LOCAL_MACHINE\\VelkFuzzProbe";
    if (!store.CreateKey(kProbe) || !store.DeleteKey(kProbe)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzDirectory dir;
    const std::string input(reinterpret_cast<const char*>(data), size);
    {
        std::ofstream out(dir.File(), std::ios::binary | std::ios::trunc);
        out << input;
    }
    velk::RegFileStore store(dir.File());
    if (!store.Problem().empty()) {
        if (store.CreateKey("HKEY_LOCAL_MACHINE\\Software") || ReadAll(dir.File()) != input) {
            std::abort();
        }
        return 0;
    }
    Rewrite(store);
    const std::string first = ReadAll(dir.File());
    Rewrite(store);
    if (ReadAll(dir.File()) != first || !store.Problem().empty()) std::abort();
    return 0;
}
