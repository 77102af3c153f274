// The settings file store with many keys (a machine store that also holds the registration
// records of many classes): one read, and the reads and writes of one "-Register".
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/linux/reg_file_store.h"

namespace velk {
namespace {

constexpr const char* kApp = "HKEY_LOCAL_MACHINE\\Software\\VELK\\VELK A&E OPC Server";

class StoreFile {
  public:
    explicit StoreFile(int keys) {
        std::string pattern = (std::filesystem::temp_directory_path() / "velkbenchXXXXXX").string();
        if (!::mkdtemp(pattern.data())) std::abort();
        dir_ = pattern;
        std::ofstream out(Path());
        out << "Windows Registry Editor Version 5.00\n\n[" << kApp
            << "]\n\"FullTagPath\"=dword:1\n\n";
        for (int i = 0; i < keys; ++i) {
            out << "[HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\{" << i << "}\\LocalServer32]\n"
                << "@=\"/usr/bin/server" << i << "\"\n\n";
        }
    }
    ~StoreFile() { std::filesystem::remove_all(dir_); }
    std::string Path() const { return (dir_ / "settings.reg").string(); }

  private:
    std::filesystem::path dir_;
};

void ReadOneValue(benchmark::State& state) {
    StoreFile file(static_cast<int>(state.range(0)));
    RegFileStore store(file.Path());
    // The first read parses the file; the ones measured find it unchanged.
    ::usleep(100'000);
    store.ReadValue(kApp, "FullTagPath");
    for (auto _ : state) benchmark::DoNotOptimize(store.ReadValue(kApp, "FullTagPath"));
}
BENCHMARK(ReadOneValue)->Arg(8000)->Arg(100000)->Unit(benchmark::kMicrosecond);

// What one registration does to the store: about forty reads and twenty writes.
void RegisterLikeSession(benchmark::State& state) {
    StoreFile file(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        RegFileStore store(file.Path());
        for (int i = 0; i < 40; ++i) benchmark::DoNotOptimize(store.KeyExists(kApp));
        for (int i = 0; i < 20; ++i) {
            const std::string key = std::string(kApp) + "\\Bench" + std::to_string(i % 4);
            store.CreateKey(key);
            store.WriteValue(key, "V" + std::to_string(i), RegValue::Dword(i));
        }
    }
}
BENCHMARK(RegisterLikeSession)->Arg(8000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velk

BENCHMARK_MAIN();
