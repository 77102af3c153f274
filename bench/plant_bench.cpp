// A whole plant against the real server: N simulated controllers on loopback TCP (one
// velkopc-plcsim serving N addresses, 127.0.0.1 to 127.0.0.N, from one process image), T
// tags each (make_plant_config.py: holding and input registers of INT, LONG and REAL, coils,
// one in ten alarmed), and C bus clients, each with a 250 ms and a 1 s group over every tag;
// then U OPC UA clients (node-opcua processes, ua_bench_client.js), each one session with a
// 250 ms and a 1 s subscription monitoring every tag. For each client count it reports, over
// a fixed time:
//   - the Modbus requests per second on the wire (the simulator's request count);
//   - the share of changes that reach a group within its period plus 50 ms: the bench writes
//     a new value into the probe register (H10, seen by every controller) every 200 ms
//     and times its arrival in each group's OnDataChange;
//   - the server's CPU (cores), resident memory and thread count;
//   - where the groups' update cycles spent their time, phase by phase (the server's cycle
//     statistics, VELKOPC_CYCLE_STATISTICS).
//
//   - the server's CPU per 1,000 notifications (DA: item values in OnDataChange; UA: items
//     in DataChangeNotifications), UA beside DA at the same client count.
//
//   velk_bench_plant [--devices N] [--tags T] [--clients 1,4] [--ua-clients 1,4]
//                    [--seconds S] [--settle S]          (a list may be "0": none)
#include <sdbus-c++/sdbus-c++.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "bench/bench_server_figures.h"
#include "tests/platform/dbus/bus_test_client.h"
#include "tests/platform/dbus/private_bus.h"
#include "tests/support/child_process.h"
#include "tests/support/mosquitto_process.h"
#include "tests/support/plcsim_process.h"
#include "tests/support/server_store_text.h"

namespace {

using namespace velk::testing;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr const char* kName = "VELK.ModbusOPCServer";
constexpr const char* kFactory = "/VELK/ModbusOPCServer";
constexpr const char* kCallback = "VELK.OPC.IOPCDataCallback";
constexpr std::uint32_t kRates[] = {250, 1000};
constexpr std::uint16_t kProbeAddress = 10;
constexpr auto kProbeEvery = 200ms;
constexpr auto kOnTimeSlack = 50ms;
constexpr std::size_t kItemsPerCall = 5000;

using ItemDef = sdbus::Struct<std::string, std::string, bool, std::uint32_t, std::uint16_t>;
using ItemResult = sdbus::Struct<std::uint32_t, std::uint16_t, std::uint32_t>;
using ItemValue = sdbus::Struct<std::uint16_t, sdbus::Variant>;

struct Options {
    int devices = 20;
    int tags = 500;
    std::vector<int> clients{1, 4};
    std::vector<int> uaClients{1, 4};
    int seconds = 30;
    int settle = 5;
};

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        const std::string value = argv[i + 1];
        if (option == "--devices") {
            options.devices = std::stoi(value);
        } else if (option == "--tags") {
            options.tags = std::stoi(value);
        } else if (option == "--seconds") {
            options.seconds = std::stoi(value);
        } else if (option == "--settle") {
            options.settle = std::stoi(value);
        } else if (option == "--clients" || option == "--ua-clients") {
            std::vector<int>& counts = option == "--clients" ? options.clients : options.uaClients;
            counts.clear();
            std::istringstream list(value);
            for (std::string count; std::getline(list, count, ',');)
                if (std::stoi(count) > 0) counts.push_back(std::stoi(count));
        } else {
            return false;
        }
    }
    return argc % 2 == 1 && options.devices >= 1 && options.devices <= 254 && options.tags >= 40 &&
           options.seconds > 0 && (!options.clients.empty() || !options.uaClients.empty());
}

// What /proc says of the server: its CPU time, also by thread name, memory and threads.
struct ProcessFigures {
    double cpuSeconds = 0;
    std::map<std::string, double> cpuByThread;
    long residentKiB = 0;
    long threads = 0;
};

// The simulator started by this process (its child of that name); 0 when not found.
pid_t SimulatorPid() {
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream stat(entry.path().string() + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        const auto close = text.rfind(')');
        if (close == std::string::npos || text.find("(velkopc-plcsim)") == std::string::npos)
            continue;
        std::istringstream fields(text.substr(close + 2));
        std::string state;
        long parent = 0;
        fields >> state >> parent;
        if (parent == ::getpid()) return static_cast<pid_t>(std::stol(name));
    }
    return 0;
}

// The server's cycle statistics (core/cycle_statistics.h): per rate and phase, the
// histogram of whole milliseconds with counts and summed microseconds.
struct PhaseTally {
    std::map<long, std::pair<long long, long long>> buckets;  // ms -> count, sum us
};
using CycleFigures = std::map<std::pair<long, std::string>, PhaseTally>;

CycleFigures ReadCycleFigures(const std::string& path) {
    CycleFigures figures;
    std::ifstream in(path);
    long rate = 0, ms = 0;
    long long count = 0, sumUs = 0;
    std::string phase;
    while (in >> rate >> phase >> ms >> count >> sumUs)
        figures[{rate, phase}].buckets[ms] = {count, sumUs};
    return figures;
}

// What happened between two snapshots, phase by phase: count, mean, p50, p99, max (ms).
void PrintCycleFigures(const CycleFigures& before, const CycleFigures& after) {
    for (const auto& [key, tally] : after) {
        if (key.first != 250 && key.first != 1000 && key.first != 0) continue;
        const auto was = before.find(key);
        std::vector<std::pair<long, long long>> counts;
        long long total = 0, sumUs = 0;
        for (const auto& [ms, cs] : tally.buckets) {
            long long count = cs.first, sum = cs.second;
            if (was != before.end()) {
                const auto old = was->second.buckets.find(ms);
                if (old != was->second.buckets.end()) {
                    count -= old->second.first;
                    sum -= old->second.second;
                }
            }
            if (count <= 0) continue;
            counts.emplace_back(ms, count);
            total += count;
            sumUs += sum;
        }
        if (total == 0) continue;
        auto percentile = [&](double share) {
            const auto rank = static_cast<long long>(share * static_cast<double>(total - 1));
            long long seen = 0;
            for (const auto& [ms, count] : counts) {
                seen += count;
                if (seen > rank) return ms;
            }
            return counts.back().first;
        };
        const std::string name =
            key.first == 0 ? std::string("exchange") : "cycle_" + std::to_string(key.first) + "ms";
        std::printf("  %s_%s: n=%lld mean_ms=%.2f p50=%ld p99=%ld max=%ld\n", name.c_str(),
                    key.second.c_str(), total,
                    static_cast<double>(sumUs) / 1000.0 / static_cast<double>(total),
                    percentile(0.5), percentile(0.99), counts.back().first);
    }
}

ProcessFigures Figures(pid_t pid) {
    ProcessFigures figures;
    const std::string proc = "/proc/" + std::to_string(pid);
    figures.cpuSeconds = velk::bench::CpuSecondsOf(proc + "/stat");
    for (const auto& task : std::filesystem::directory_iterator(proc + "/task")) {
        std::string name;
        const double seconds = velk::bench::CpuSecondsOf(task.path().string() + "/stat", &name);
        figures.cpuByThread[name] += seconds;
    }
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) figures.residentKiB = std::stol(line.substr(6));
        if (line.rfind("Threads:", 0) == 0) figures.threads = std::stol(line.substr(8));
    }
    return figures;
}

// The probe values written and when; the arrivals of each group.
class ProbeLog {
  public:
    void Written(std::int16_t value) {
        std::lock_guard lock(lock_);
        written_[value] = Clock::now();
    }
    // A group saw the probe value on one controller.
    void Arrived(std::uint32_t rateMs, std::int16_t value) {
        const auto now = Clock::now();
        std::lock_guard lock(lock_);
        auto it = written_.find(value);
        if (it == written_.end() || !measuring_) return;
        Tally& tally = tallies_[rateMs];
        ++tally.arrivals;
        if (now - it->second <= std::chrono::milliseconds(rateMs) + kOnTimeSlack) ++tally.onTime;
        tally.latenciesMs.push_back(
            std::chrono::duration_cast<std::chrono::milliseconds>(now - it->second).count());
    }
    void Measure(bool on) {
        std::lock_guard lock(lock_);
        measuring_ = on;
        if (on) tallies_.clear();
    }
    struct Tally {
        std::uint64_t arrivals = 0;
        std::uint64_t onTime = 0;
        std::vector<long long> latenciesMs;
        // The latency below which this share of the arrivals came.
        long long Percentile(double share) {
            if (latenciesMs.empty()) return 0;
            std::sort(latenciesMs.begin(), latenciesMs.end());
            return latenciesMs[static_cast<std::size_t>(
                share * static_cast<double>(latenciesMs.size() - 1))];
        }
    };
    std::map<std::uint32_t, Tally> Tallies() const {
        std::lock_guard lock(lock_);
        return tallies_;
    }

  private:
    mutable std::mutex lock_;
    std::map<std::int16_t, Clock::time_point> written_;
    std::map<std::uint32_t, Tally> tallies_;
    bool measuring_ = false;
};

// One bus client: its own connection, a callback object, one server instance with a group
// per rate over every item.
class PlantClient {
  public:
    PlantClient(const std::string& address, int index, const std::vector<std::string>& items,
                const std::vector<bool>& probes, ProbeLog& log)
        : bus_(address),
          path_("/Bench/Callback" + std::to_string(index)),
          probes_(probes),
          log_(log) {
        sink_ = sdbus::createObject(bus_.Connection(), path_);
        sink_->registerMethod(kCallback, "OnDataChange", "uuiiaua(qv)aqatai", "",
                              [this](sdbus::MethodCall call) { OnDataChange(call); });
        for (const char* method : {"OnReadComplete", "OnWriteComplete", "OnCancelComplete"}) {
            const std::string m = method;
            sink_->registerMethod(kCallback, method,
                                  m == "OnReadComplete"    ? "uuiiaua(qv)aqatai"
                                  : m == "OnWriteComplete" ? "uuiauai"
                                                           : "uu",
                                  "", [](sdbus::MethodCall call) { call.createReply().send(); });
        }
        sink_->finishRegistration();
        bus_.Connection().enterEventLoopAsync();
        instance_ = bus_.Proxy(kName, bus_.CreateInstance(kName, kFactory));
        std::vector<ItemDef> defs;
        defs.reserve(items.size());
        for (std::size_t i = 0; i < items.size(); ++i)
            defs.push_back(ItemDef{"", items[i], true, static_cast<std::uint32_t>(i), 0});
        for (std::uint32_t rate : kRates) AddGroup(rate, defs);
    }

    ~PlantClient() {
        try {
            instance_->callMethod("Release").onInterface("VELK.Object");
        } catch (const sdbus::Error&) {
        }
        bus_.Connection().leaveEventLoop();
    }

    std::uint64_t Callbacks() const { return callbacks_.load(); }
    std::uint64_t Notifications() const { return notifications_.load(); }
    std::uint64_t FailedItems() const { return failedItems_; }

  private:
    void AddGroup(std::uint32_t rate, const std::vector<ItemDef>& defs) {
        std::int32_t hr = 0;
        sdbus::ObjectPath path;
        std::uint32_t hServer = 0, revised = 0;
        instance_->callMethod("AddGroup")
            .onInterface("VELK.OPC.IOPCServer")
            .withArguments(std::string(), true, rate, rate, false, std::int32_t{0}, false, 0.0,
                           std::uint32_t{0})
            .storeResultsTo(hr, path, hServer, revised);
        groups_.push_back(bus_.Proxy(kName, path));
        std::uint32_t cookie = 0;
        groups_.back()
            ->callMethod("Advise")
            .onInterface("VELK.OPC.IConnectionPointContainer")
            .withArguments(std::string(kCallback), sdbus::ObjectPath(path_))
            .storeResultsTo(cookie);
        // In parts that stay within the server's limits of one call.
        for (std::size_t first = 0; first < defs.size(); first += kItemsPerCall) {
            const std::vector<ItemDef> part(
                defs.begin() + static_cast<std::ptrdiff_t>(first),
                defs.begin() +
                    static_cast<std::ptrdiff_t>(std::min(defs.size(), first + kItemsPerCall)));
            std::vector<ItemResult> results;
            std::vector<std::int32_t> errors;
            groups_.back()
                ->callMethod("AddItems")
                .onInterface("VELK.OPC.IOPCItemMgt")
                .withTimeout(120s)
                .withArguments(part)
                .storeResultsTo(hr, results, errors);
            for (std::int32_t error : errors) failedItems_ += error < 0 ? 1 : 0;
        }
    }

    void OnDataChange(sdbus::MethodCall& call) {
        std::uint32_t tid = 0, rate = 0;
        std::int32_t quality = 0, error = 0;
        std::vector<std::uint32_t> handles;
        std::vector<ItemValue> values;
        call >> tid >> rate >> quality >> error >> handles >> values;
        ++callbacks_;
        notifications_ += handles.size();
        for (std::size_t i = 0; i < handles.size() && i < values.size(); ++i) {
            if (handles[i] >= probes_.size() || !probes_[handles[i]]) continue;
            const sdbus::Variant& value = values[i].get<1>();
            if (value.containsValueOfType<std::int16_t>())
                log_.Arrived(rate, value.get<std::int16_t>());
        }
        call.createReply().send();
    }

    BusTestClient bus_;
    std::string path_;
    const std::vector<bool>& probes_;
    ProbeLog& log_;
    std::unique_ptr<sdbus::IObject> sink_;
    std::unique_ptr<sdbus::IProxy> instance_;
    std::vector<std::unique_ptr<sdbus::IProxy>> groups_;
    std::atomic<std::uint64_t> callbacks_{0};
    std::atomic<std::uint64_t> notifications_{0};
    std::uint64_t failedItems_ = 0;
};

std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) lines.push_back(line);
    return lines;
}

// The DA runs' server CPU seconds per 1,000 notifications, by client count.
std::map<int, double> gDaCpuPerThousand;

// One run with `clients` clients against a fresh server; false when it could not be made.
bool RunPlant(const Options& options, int clients, velk::test::PlcsimProcess& plcsim,
              const std::string& settings, const std::vector<std::string>& items,
              const std::vector<bool>& probes, const TempDirectory& dir) {
    PrivateBus bus;
    if (!bus.Start()) {
        std::fprintf(stderr, "plant: no private bus: %s\n", bus.Problem().c_str());
        return false;
    }
    ChildProcess server;
    const std::string cycleFile = dir.File("cycles" + std::to_string(clients) + ".txt");
    server.Start(VELKOPC_BINARY, {},
                 {"VELKOPC_SETTINGS=" + settings, "VELKOPC_USER_SETTINGS=" + dir.File("user.reg"),
                  "VELKOPC_CYCLE_STATISTICS=" + cycleFile,
                  "VELKOPC_INSTANCE_NAME=velk-plant-bench-" + std::to_string(::getpid()),
                  "DBUS_SESSION_BUS_ADDRESS=" + bus.Address()},
                 dir.File("server" + std::to_string(clients) + ".out"));
    BusTestClient probe(bus.Address());
    const std::uint32_t pid = velk::bench::WaitForBusOwner(probe, kName, 60s);
    const bool up = pid != 0;
    if (!up) {
        std::fprintf(stderr, "plant: the server did not come up\n");
        return false;
    }

    ProbeLog log;
    std::atomic<bool> probing{true};
    std::thread writer([&] {
        std::int16_t value = 1;
        while (probing) {
            log.Written(value);
            plcsim.Command("set holding " + std::to_string(kProbeAddress) + " " +
                           std::to_string(value));
            value = static_cast<std::int16_t>(value % 30000 + 1);
            std::this_thread::sleep_for(kProbeEvery);
        }
    });
    const auto setupStart = Clock::now();
    std::vector<std::unique_ptr<PlantClient>> plantClients;
    for (int c = 0; c < clients; ++c)
        plantClients.push_back(std::make_unique<PlantClient>(bus.Address(), c, items, probes, log));
    const double setupSeconds = std::chrono::duration<double>(Clock::now() - setupStart).count();
    std::this_thread::sleep_for(std::chrono::seconds(options.settle));

    const long requests0 = plcsim.ReportValue("requests");
    const ProcessFigures before = Figures(static_cast<pid_t>(pid));
    const pid_t simulator = SimulatorPid();
    const double simulator0 = simulator ? Figures(simulator).cpuSeconds : 0;
    const double bench0 = Figures(::getpid()).cpuSeconds;
    std::uint64_t callbacks0 = 0, notifications0 = 0;
    for (auto& c : plantClients) {
        callbacks0 += c->Callbacks();
        notifications0 += c->Notifications();
    }
    const CycleFigures cycles0 = ReadCycleFigures(cycleFile);
    log.Measure(true);
    const auto t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(options.seconds));
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    log.Measure(false);
    const CycleFigures cycles1 = ReadCycleFigures(cycleFile);
    const long requests1 = plcsim.ReportValue("requests");
    const ProcessFigures after = Figures(static_cast<pid_t>(pid));
    const double simulator1 = simulator ? Figures(simulator).cpuSeconds : 0;
    const double bench1 = Figures(::getpid()).cpuSeconds;
    std::uint64_t callbacks1 = 0, notifications1 = 0, failed = 0;
    for (auto& c : plantClients) {
        callbacks1 += c->Callbacks();
        notifications1 += c->Notifications();
        failed += c->FailedItems();
    }

    std::printf("clients=%d devices=%d tags=%d seconds=%.1f setup_s=%.1f failed_items=%llu\n",
                clients, options.devices, options.devices * options.tags, seconds, setupSeconds,
                static_cast<unsigned long long>(failed));
    std::printf("  modbus_requests_per_s=%.1f\n",
                static_cast<double>(requests1 - requests0) / seconds);
    std::printf("  callbacks_per_s=%.1f\n", static_cast<double>(callbacks1 - callbacks0) / seconds);
    const double serverCpu = after.cpuSeconds - before.cpuSeconds;
    const auto notifications = static_cast<double>(notifications1 - notifications0);
    const double perThousand = notifications > 0 ? serverCpu * 1000.0 / notifications : 0.0;
    gDaCpuPerThousand[clients] = perThousand;
    std::printf("  notifications_per_s=%.1f server_cpu_ms_per_1000_notifications=%.3f\n",
                notifications / seconds, perThousand * 1000.0);
    for (auto& [rate, tally] : log.Tallies()) {
        std::printf(
            "  group_%ums: probe_arrivals=%llu on_time_share=%.4f latency_ms p50=%lld p99=%lld "
            "max=%lld\n",
            rate, static_cast<unsigned long long>(tally.arrivals),
            tally.arrivals ? static_cast<double>(tally.onTime) / static_cast<double>(tally.arrivals)
                           : 0.0,
            tally.Percentile(0.5), tally.Percentile(0.99), tally.Percentile(1.0));
    }
    // Where the groups' update cycles spent their time (the server's own statistics).
    PrintCycleFigures(cycles0, cycles1);
    std::printf("  server_cpu_cores=%.3f server_rss_mb=%.1f server_threads=%ld\n",
                (after.cpuSeconds - before.cpuSeconds) / seconds,
                static_cast<double>(after.residentKiB) / 1024.0, after.threads);
    // Where the server's CPU goes, by thread name (threads that ended meanwhile not counted).
    std::printf("  server_cpu_cores_by_thread:");
    for (const auto& [name, total] : after.cpuByThread) {
        const auto was = before.cpuByThread.find(name);
        const double used = total - (was == before.cpuByThread.end() ? 0.0 : was->second);
        if (used > 0) std::printf(" [%s]=%.3f", name.c_str(), used / seconds);
    }
    std::printf("\n");
    // The other processes of the plant on the same machine.
    std::printf("  simulator_cpu_cores=%.3f clients_cpu_cores=%.3f\n",
                (simulator1 - simulator0) / seconds, (bench1 - bench0) / seconds);
    std::fflush(stdout);

    probing = false;
    writer.join();
    plantClients.clear();
    server.Signal(SIGTERM);
    server.Wait(30s);
    return true;
}

std::string Hex(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(value));
    return text;
}

long long EpochMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// What one UA client printed: its probe arrivals (period, value, epoch ms) and its running
// count of notifications (count, epoch ms).
struct UaClientLog {
    bool ready = false;
    long failed = 0;
    std::string error;
    std::vector<std::tuple<long, long, long long>> probes;
    std::vector<std::pair<long long, long long>> counts;
};

UaClientLog ReadUaClientLog(const std::string& path) {
    UaClientLog log;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string kind;
        fields >> kind;
        if (kind == "ready") {
            long items = 0;
            fields >> items >> log.failed;
            log.ready = true;
        } else if (kind == "P") {
            long period = 0, value = 0;
            long long at = 0;
            if (fields >> period >> value >> at) log.probes.emplace_back(period, value, at);
        } else if (kind == "N") {
            long long count = 0, at = 0;
            if (fields >> count >> at) log.counts.emplace_back(count, at);
        } else if (kind == "error") {
            log.error = line;
        }
    }
    return log;
}

// The notification count a client had reached at `at` (its last report before then).
long long CountAt(const UaClientLog& log, long long at) {
    long long count = 0;
    for (const auto& [n, when] : log.counts)
        if (when <= at) count = n;
    return count;
}

// One run with `clients` UA clients against a fresh server with its UA endpoint on loopback;
// false when it could not be made. `oneClientRequests` is the first UA run's request rate.
bool RunUa(const Options& options, int clients, velk::test::PlcsimProcess& plcsim,
           ServerStoreText store, const std::string& itemsFile, const TempDirectory& dir,
           double& oneClientRequests) {
    PrivateBus bus;
    if (!bus.Start()) {
        std::fprintf(stderr, "plant: no private bus: %s\n", bus.Problem().c_str());
        return false;
    }
    const int port = FreeLoopbackPort();
    const std::string endpoint = "opc.tcp://127.0.0.1:" + std::to_string(port);
    const std::string tag = "ua" + std::to_string(clients);
    store.extra =
        "[HKEY_LOCAL_MACHINE\\Software\\VELK\\VELK A&E OPC Server\\OpcUa]\r\n"
        "\"Enabled\"=dword:00000001\r\n\"Port\"=dword:" +
        Hex(port) +
        "\r\n\"BindAddresses\"=\"127.0.0.1\"\r\n"
        "\"AllowAnonymous\"=dword:00000001\r\n\"AllowSecurityNone\"=dword:00000001\r\n"
        "\"MaxMonitoredItems\"=dword:" +
        Hex(std::max(500000, 2 * clients * options.devices * options.tags)) +
        "\r\n\"PkiDirectory\"=\"" + dir.File("pki-" + tag) + "\"\r\n\r\n";
    const std::string settings = dir.File("settings-" + tag + ".reg");
    if (!store.WriteTo(settings)) return false;
    ChildProcess server;
    server.Start(VELKOPC_BINARY, {},
                 {"VELKOPC_SETTINGS=" + settings, "VELKOPC_USER_SETTINGS=" + dir.File("user.reg"),
                  "VELKOPC_INSTANCE_NAME=velk-plant-bench-" + std::to_string(::getpid()),
                  "DBUS_SESSION_BUS_ADDRESS=" + bus.Address()},
                 dir.File("server-" + tag + ".out"));
    BusTestClient probe(bus.Address());
    const std::uint32_t pid = velk::bench::WaitForBusOwner(probe, kName, 60s);
    if (pid == 0) {
        std::fprintf(stderr, "plant: the server did not come up\n");
        return false;
    }

    std::mutex writesLock;
    std::map<long, long long> written;  // probe value -> epoch ms of its write
    std::atomic<bool> probing{true};
    std::thread writer([&] {
        std::int16_t value = 1;
        while (probing) {
            {
                std::lock_guard lock(writesLock);
                written[value] = EpochMs();
            }
            plcsim.Command("set holding " + std::to_string(kProbeAddress) + " " +
                           std::to_string(value));
            value = static_cast<std::int16_t>(value % 30000 + 1);
            std::this_thread::sleep_for(kProbeEvery);
        }
    });

    const auto setupStart = Clock::now();
    std::vector<std::unique_ptr<ChildProcess>> uaClients;
    std::vector<std::string> logs;
    for (int c = 0; c < clients; ++c) {
        logs.push_back(dir.File(tag + "-client" + std::to_string(c) + ".out"));
        uaClients.push_back(std::make_unique<ChildProcess>());
        uaClients.back()->Start("/usr/bin/node",
                                {std::string(VELK_BENCH_DIR) + "/ua_bench_client.js", endpoint,
                                 itemsFile, dir.File("pki-client-" + tag + std::to_string(c))},
                                {}, logs.back());
    }
    // Every client has its items monitored (or gave up).
    const bool ready = WaitUntil(
        [&] {
            for (const auto& log : logs) {
                const UaClientLog read = ReadUaClientLog(log);
                if (!read.ready && read.error.empty()) return false;
            }
            return true;
        },
        std::chrono::minutes(10));
    const double setupSeconds = std::chrono::duration<double>(Clock::now() - setupStart).count();
    long failed = 0;
    for (const auto& log : logs) {
        const UaClientLog read = ReadUaClientLog(log);
        if (!read.error.empty()) std::fprintf(stderr, "plant: UA client: %s\n", read.error.c_str());
        failed += read.failed;
    }
    std::this_thread::sleep_for(std::chrono::seconds(options.settle));

    const long requests0 = plcsim.ReportValue("requests");
    const ProcessFigures before = Figures(static_cast<pid_t>(pid));
    const long long t0 = EpochMs();
    const auto steady0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(options.seconds));
    const double seconds = std::chrono::duration<double>(Clock::now() - steady0).count();
    const long long t1 = EpochMs();
    const long requests1 = plcsim.ReportValue("requests");
    const ProcessFigures after = Figures(static_cast<pid_t>(pid));
    // The clients' last reports of the window.
    std::this_thread::sleep_for(1500ms);
    probing = false;
    writer.join();

    std::map<long, std::pair<std::uint64_t, std::uint64_t>> tallies;  // period -> arrivals, on time
    std::map<long, std::vector<long long>> latencies;
    long long notifications = 0;
    for (const auto& path : logs) {
        const UaClientLog log = ReadUaClientLog(path);
        notifications += CountAt(log, t1) - CountAt(log, t0);
        for (const auto& [period, value, at] : log.probes) {
            if (at < t0 || at > t1) continue;
            const auto it = written.find(value);
            if (it == written.end()) continue;
            const long long latency = at - it->second;
            auto& tally = tallies[period];
            ++tally.first;
            if (latency <= period + kOnTimeSlack.count()) ++tally.second;
            latencies[period].push_back(latency);
        }
    }
    const double requestsPerSecond = static_cast<double>(requests1 - requests0) / seconds;
    if (oneClientRequests <= 0) oneClientRequests = requestsPerSecond;
    const double serverCpu = after.cpuSeconds - before.cpuSeconds;
    const double perThousand =
        notifications > 0 ? serverCpu * 1000.0 / static_cast<double>(notifications) : 0.0;

    std::printf(
        "ua_clients=%d devices=%d tags=%d monitored_items=%d seconds=%.1f setup_s=%.1f "
        "failed_items=%ld ready=%s\n",
        clients, options.devices, options.devices * options.tags,
        2 * clients * options.devices * options.tags, seconds, setupSeconds, failed,
        ready ? "yes" : "no");
    std::printf("  modbus_requests_per_s=%.1f ratio_to_first_run=%.3f\n", requestsPerSecond,
                requestsPerSecond / oneClientRequests);
    for (auto& [period, tally] : tallies) {
        auto& sorted = latencies[period];
        std::sort(sorted.begin(), sorted.end());
        auto at = [&](double share) {
            return sorted[static_cast<std::size_t>(share * static_cast<double>(sorted.size() - 1))];
        };
        std::printf(
            "  subscription_%ldms: probe_arrivals=%llu on_time_share=%.4f latency_ms p50=%lld "
            "p99=%lld max=%lld\n",
            period, static_cast<unsigned long long>(tally.first),
            tally.first ? static_cast<double>(tally.second) / static_cast<double>(tally.first)
                        : 0.0,
            at(0.5), at(0.99), at(1.0));
    }
    std::printf("  server_cpu_cores=%.3f server_rss_mb=%.1f server_threads=%ld\n",
                serverCpu / seconds, static_cast<double>(after.residentKiB) / 1024.0,
                after.threads);
    std::printf("  notifications_per_s=%.1f server_cpu_ms_per_1000_notifications=%.3f",
                static_cast<double>(notifications) / seconds, perThousand * 1000.0);
    const auto da = gDaCpuPerThousand.find(clients);
    if (da != gDaCpuPerThousand.end() && da->second > 0)
        std::printf(" da_cpu_ms_per_1000_notifications=%.3f ua_to_da=%.2f", da->second * 1000.0,
                    perThousand / da->second);
    std::printf("\n");
    std::fflush(stdout);

    for (auto& client : uaClients) {
        client->Signal(SIGTERM);
        client->Wait(10s);
    }
    server.Signal(SIGTERM);
    server.Wait(30s);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: velk_bench_plant [--devices N] [--tags T] [--clients 1,4] "
                     "[--ua-clients 1,4] [--seconds S] [--settle S]\n");
        return 2;
    }
    TempDirectory dir;
    const std::string config = dir.File("plant.vlk");
    const std::string itemsFile = dir.File("items.txt");
    if (RunProgram("/usr/bin/python3",
                   {std::string(VELK_BENCH_DIR) + "/make_plant_config.py", config, itemsFile,
                    std::to_string(options.devices), std::to_string(options.tags)},
                   {}, dir.File("config.out")) != 0) {
        std::fprintf(stderr, "plant: configuration not written\n");
        return 1;
    }
    const std::vector<std::string> items = ReadLines(itemsFile);
    std::vector<bool> probes(items.size(), false);
    const std::string probeName = ".H" + std::to_string(kProbeAddress);
    for (std::size_t i = 0; i < items.size(); ++i) {
        const std::string& id = items[i];
        probes[i] = id.size() > probeName.size() &&
                    id.compare(id.size() - probeName.size(), probeName.size(), probeName) == 0;
    }

    std::vector<std::string> arguments{"--demo"};
    for (int d = 1; d <= options.devices; ++d) {
        arguments.push_back("--tcp");
        arguments.push_back("127.0.0." + std::to_string(d) + ":0");
    }
    velk::test::PlcsimProcess plcsim;
    std::string error;
    if (!plcsim.Start(arguments, error)) {
        std::fprintf(stderr, "plant: the simulator did not start: %s\n", error.c_str());
        return 1;
    }
    ServerStoreText store;
    store.traceFile = dir.File("trace.txt");
    store.recentFile = config;
    for (int d = 1; d <= options.devices; ++d)
        store.tcpPorts.emplace_back("127.0.0." + std::to_string(d),
                                    static_cast<std::uint16_t>(plcsim.TcpPort(d)));
    const std::string settings = dir.File("settings.reg");
    if (!store.WriteTo(settings)) return 1;

    for (int clients : options.clients) {
        if (!RunPlant(options, clients, plcsim, settings, items, probes, dir)) return 1;
    }
    double oneClientRequests = 0;
    for (int clients : options.uaClients) {
        if (!RunUa(options, clients, plcsim, store, itemsFile, dir, oneClientRequests)) return 1;
    }
    plcsim.Stop();
    return 0;
}
