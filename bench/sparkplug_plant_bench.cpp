// The plant published into a real broker: velkopc serving N simulated controllers on
// loopback TCP (one velkopc-plcsim serving 127.0.0.1 to 127.0.0.N, make_plant_config.py's
// tags, as velk_bench_plant has them) publishes as Sparkplug edge node Plant1/Edge1 into a
// mosquitto of its own on a free port; a subscriber (the platform's Paho client) decodes
// every message. The bench writes a new value into the probe register (H10, seen by every
// controller) at an interval longer than the publish period, so that each value is a change
// of every controller's probe metric, and reports:
//   - the publisher's CPU: the server's threads named "Sparkplug" and Paho's (which inherit
//     that name or carry their own, "MQTTAsync_*"), in cores, beside the whole server's;
//   - from the register's change to its arrival at the subscriber, live DDATA only: p50,
//     p99, max, and the share within the publish period plus 100 ms;
//   - a broker restart during the run (mosquitto killed and started again on the same port):
//     the changes lost, counting every (controller, value) seen in a DBIRTH, a live DDATA
//     or a historical one (store and forward replays the outage).
//
//   velk_bench_sparkplug_plant [--devices N] [--tags T] [--seconds S] [--period MS]
//                              [--probe MS] [--outage S]
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_server_figures.h"
#include "platform/mqtt_client.h"
#include "sparkplug/sparkplug_b.pb.h"
#include "tests/platform/dbus/private_bus.h"
#include "tests/support/child_process.h"
#include "tests/support/mosquitto_process.h"
#include "tests/support/plcsim_process.h"
#include "tests/support/server_store_text.h"

namespace {

using namespace velk::testing;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::uint16_t kProbeAddress = 10;
constexpr const char* kProbeMetric = "H10";
constexpr auto kOnTimeSlack = 100ms;

struct Options {
    int devices = 100;
    int tags = 500;
    int seconds = 60;
    int periodMs = 1000;
    int probeMs = 2000;
    int outage = 5;
};

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        const int value = std::stoi(argv[i + 1]);
        if (option == "--devices") {
            options.devices = value;
        } else if (option == "--tags") {
            options.tags = value;
        } else if (option == "--seconds") {
            options.seconds = value;
        } else if (option == "--period") {
            options.periodMs = value;
        } else if (option == "--probe") {
            options.probeMs = value;
        } else if (option == "--outage") {
            options.outage = value;
        } else {
            return false;
        }
    }
    return argc % 2 == 1 && options.devices >= 1 && options.devices <= 254 && options.tags >= 40 &&
           options.seconds >= 10 && options.periodMs >= 100 && options.probeMs > options.periodMs &&
           options.outage >= 0;
}

// CPU seconds of a process's threads by name (threads that ended are not counted).
std::map<std::string, double> CpuByThread(pid_t pid) {
    std::map<std::string, double> byName;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
        std::string name;
        const double seconds = velk::bench::CpuSecondsOf(task.path().string() + "/stat", &name);
        byName[name] += seconds;
    }
    return byName;
}

bool IsPublisherThread(const std::string& name) {
    return name == "Sparkplug" || name.rfind("MQTT", 0) == 0 || name.rfind("Paho", 0) == 0;
}

// The probe values written and when; what the subscriber saw of them.
class ProbeLog {
  public:
    void Written(std::int16_t value) {
        std::lock_guard lock(lock_);
        written_[value] = Clock::now();
    }
    void Seen(const std::string& device, std::int16_t value, bool live) {
        const auto now = Clock::now();
        std::lock_guard lock(lock_);
        seen_.insert({device, value});
        const auto it = written_.find(value);
        if (!live || !measuring_ || it == written_.end()) return;
        latenciesMs_.push_back(std::chrono::duration<double, std::milli>(now - it->second).count());
    }
    void CountMessage(bool historical, int metrics) {
        std::lock_guard lock(lock_);
        ++messages_;
        metrics_ += metrics;
        if (historical) historical_ += metrics;
    }
    void Measure(bool on) {
        std::lock_guard lock(lock_);
        measuring_ = on;
    }
    // The (device, value) pairs of the values not seen.
    std::size_t Missing(const std::vector<std::string>& devices,
                        const std::vector<std::int16_t>& values) const {
        std::lock_guard lock(lock_);
        std::size_t missing = 0;
        for (const auto& device : devices)
            for (std::int16_t value : values) missing += seen_.count({device, value}) == 0 ? 1 : 0;
        return missing;
    }
    std::vector<double> Latencies() const {
        std::lock_guard lock(lock_);
        return latenciesMs_;
    }
    std::uint64_t Messages() const {
        std::lock_guard lock(lock_);
        return messages_;
    }
    std::uint64_t Metrics() const {
        std::lock_guard lock(lock_);
        return metrics_;
    }
    std::uint64_t Historical() const {
        std::lock_guard lock(lock_);
        return historical_;
    }

  private:
    mutable std::mutex lock_;
    std::map<std::int16_t, Clock::time_point> written_;
    std::set<std::pair<std::string, std::int16_t>> seen_;
    std::vector<double> latenciesMs_;
    std::uint64_t messages_ = 0, metrics_ = 0, historical_ = 0;
    bool measuring_ = false;
};

// The consumer: every message of the group, decoded; the probe metric followed by its name
// in the births and its alias in the data.
class Subscriber {
  public:
    Subscriber(const std::string& url, ProbeLog& log) : log_(log) {
        velk::MqttClientSettings settings;
        settings.serverUrl = url;
        settings.clientId = "velk-bench-subscriber-" + std::to_string(::getpid());
        settings.connectTimeout = 5s;
        std::string error;
        client_ = velk::CreateMqttClient(
            settings, [this](velk::MqttEvent event) { OnEvent(std::move(event)); }, error);
        if (!client_) std::fprintf(stderr, "sparkplug plant: subscriber: %s\n", error.c_str());
    }

    // Connects and subscribes; false when the broker did not take the session in time.
    bool Connect(std::chrono::seconds timeout) {
        if (!client_) return false;
        const auto deadline = Clock::now() + timeout;
        while (Clock::now() < deadline) {
            const std::uint64_t attempt = client_->Connect({"velk-bench/subscriber", "gone", 0});
            std::unique_lock lock(mutex_);
            changed_.wait_until(lock, deadline, [&] { return outcomes_.count(attempt) != 0; });
            const auto it = outcomes_.find(attempt);
            if (it != outcomes_.end() && it->second) {
                lock.unlock();
                return client_->Subscribe("spBv1.0/Plant1/#", 1);
            }
            lock.unlock();
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }
    void Disconnect() {
        if (client_) client_->Disconnect(1000ms);
    }
    // The controllers whose probe metric's alias a DBIRTH gave.
    std::size_t Born() const {
        std::lock_guard lock(mutex_);
        return aliases_.size();
    }

  private:
    void OnEvent(velk::MqttEvent event) {
        if (event.kind == velk::MqttEvent::Kind::kMessage) {
            OnMessage(event.text, event.payload);
            return;
        }
        if (event.kind == velk::MqttEvent::Kind::kConnectionLost) return;
        std::lock_guard lock(mutex_);
        outcomes_[event.attempt] = event.kind == velk::MqttEvent::Kind::kConnected;
        changed_.notify_all();
    }

    void OnMessage(const std::string& topic, const std::string& bytes) {
        // spBv1.0/Plant1/<type>/Edge1[/<device>]
        std::vector<std::string> parts;
        std::istringstream in(topic);
        for (std::string part; std::getline(in, part, '/');) parts.push_back(part);
        if (parts.size() != 5) return;
        const std::string& type = parts[2];
        const std::string& device = parts[4];
        if (type != "DBIRTH" && type != "DDATA") return;
        velk::sparkplug::pb::Payload payload;
        if (!payload.ParseFromString(bytes)) return;
        bool historical = false;
        std::uint64_t alias = 0;
        bool known = false;
        {
            std::lock_guard lock(mutex_);
            if (type == "DBIRTH") {
                for (const auto& metric : payload.metrics()) {
                    if (metric.name() == kProbeMetric) aliases_[device] = metric.alias();
                }
            }
            const auto it = aliases_.find(device);
            known = it != aliases_.end();
            if (known) alias = it->second;
        }
        for (const auto& metric : payload.metrics()) {
            historical = historical || metric.is_historical();
            const bool probe = metric.name() == kProbeMetric ||
                               (known && !metric.has_name() && metric.alias() == alias);
            if (!probe || metric.is_null()) continue;
            log_.Seen(device, static_cast<std::int16_t>(metric.int_value()),
                      type == "DDATA" && !metric.is_historical());
        }
        if (type == "DDATA") log_.CountMessage(historical, payload.metrics_size());
    }

    ProbeLog& log_;
    std::unique_ptr<velk::IMqttClient> client_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::uint64_t, bool> outcomes_;  // by attempt: connected or failed
    std::map<std::string, std::uint64_t> aliases_;
};

double Percentile(std::vector<double> values, double share) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(share * static_cast<double>(values.size() - 1))];
}

std::string Hex8(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(value));
    return text;
}

int Run(const Options& options) {
    if (access("/usr/sbin/mosquitto", X_OK) != 0 && access("/usr/bin/mosquitto", X_OK) != 0) {
        std::printf(
            "sparkplug plant: skipped: mosquitto is not installed "
            "(apt-get install mosquitto)\n");
        return 0;
    }
    TempDirectory dir;
    const std::string config = dir.File("plant.vlk");
    if (RunProgram(
            "/usr/bin/python3",
            {std::string(VELK_BENCH_DIR) + "/make_plant_config.py", config, dir.File("items.txt"),
             std::to_string(options.devices), std::to_string(options.tags)},
            {}, dir.File("config.out")) != 0) {
        std::fprintf(stderr, "sparkplug plant: configuration not written\n");
        return 1;
    }
    MosquittoProcess broker;
    if (!broker.Start()) {
        std::printf("sparkplug plant: skipped: mosquitto did not start\n");
        return 0;
    }
    std::vector<std::string> arguments{"--demo"};
    std::vector<std::string> devices;
    for (int d = 1; d <= options.devices; ++d) {
        arguments.push_back("--tcp");
        arguments.push_back("127.0.0." + std::to_string(d) + ":0");
        devices.push_back("Dev" + std::to_string(d));
    }
    velk::test::PlcsimProcess plcsim;
    std::string error;
    if (!plcsim.Start(arguments, error)) {
        std::fprintf(stderr, "sparkplug plant: the simulator did not start: %s\n", error.c_str());
        return 1;
    }
    ServerStoreText store;
    store.traceFile = dir.File("trace.txt");
    for (int d = 1; d <= options.devices; ++d)
        store.tcpPorts.emplace_back("127.0.0." + std::to_string(d),
                                    static_cast<std::uint16_t>(plcsim.TcpPort(d)));
    store.extra =
        "[HKEY_LOCAL_MACHINE\\Software\\VELK\\VELK A&E OPC Server\\Sparkplug]\r\n"
        "\"Enabled\"=dword:00000001\r\n\"BrokerUrl\"=\"" +
        broker.TcpUrl() +
        "\"\r\n\"GroupId\"=\"Plant1\"\r\n\"EdgeNodeId\"=\"Edge1\"\r\n"
        "\"PublishPeriod\"=dword:" +
        Hex8(options.periodMs) + "\r\n\"StoreDirectory\"=\"" + dir.File("store") + "\"\r\n\r\n";
    if (!store.WriteTo(dir.File("settings.reg"))) return 1;

    ProbeLog log;
    Subscriber subscriber(broker.TcpUrl(), log);
    if (!subscriber.Connect(10s)) {
        std::fprintf(stderr, "sparkplug plant: the subscriber did not connect\n");
        return 1;
    }
    PrivateBus bus;
    if (!bus.Start()) {
        std::fprintf(stderr, "sparkplug plant: no private bus: %s\n", bus.Problem().c_str());
        return 1;
    }
    ChildProcess server;
    server.Start(VELKOPC_BINARY, {config},
                 {"VELKOPC_SETTINGS=" + dir.File("settings.reg"),
                  "VELKOPC_USER_SETTINGS=" + dir.File("user.reg"),
                  "VELKOPC_INSTANCE_NAME=velk-sparkplug-bench-" + std::to_string(::getpid()),
                  "DBUS_SESSION_BUS_ADDRESS=" + bus.Address()},
                 dir.File("server.out"));
    const auto startAt = Clock::now();
    if (!WaitUntil([&] { return subscriber.Born() == devices.size(); }, 180s)) {
        std::fprintf(stderr, "sparkplug plant: %zu of %zu controllers born; trace in %s\n",
                     subscriber.Born(), devices.size(), dir.File("trace.txt").c_str());
        return 1;
    }
    const double birthSeconds = std::chrono::duration<double>(Clock::now() - startAt).count();

    // The probe: a new value at every interval, logged before it is written.
    std::atomic<bool> probing{true};
    std::mutex valuesLock;
    std::vector<std::int16_t> measured;  // the values written in the measured window
    std::atomic<bool> recording{false};
    std::thread writer([&] {
        std::int16_t value = 1;
        auto next = Clock::now();
        while (probing) {
            log.Written(value);
            plcsim.Command("set holding " + std::to_string(kProbeAddress) + " " +
                           std::to_string(value));
            if (recording) {
                std::lock_guard lock(valuesLock);
                measured.push_back(value);
            }
            value = static_cast<std::int16_t>(value % 30000 + 1);
            next += std::chrono::milliseconds(options.probeMs);
            std::this_thread::sleep_until(next);
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(2 * options.probeMs));

    const pid_t pid = server.Pid();
    const auto threads0 = CpuByThread(pid);
    const double server0 = velk::bench::CpuSeconds(pid);
    const std::uint64_t messages0 = log.Messages(), metrics0 = log.Metrics();
    recording = true;
    log.Measure(true);
    const auto t0 = Clock::now();
    // The broker restart a third into the run; the subscriber is back before the publisher's
    // back-off has passed, as a consumer of the plant is when the broker returns.
    std::this_thread::sleep_for(std::chrono::seconds(options.seconds / 3));
    broker.Stop();
    std::this_thread::sleep_for(std::chrono::seconds(options.outage));
    const bool restarted = broker.Start({}, broker.Port());
    const bool resubscribed = restarted && subscriber.Connect(10s);
    std::this_thread::sleep_until(t0 + std::chrono::seconds(options.seconds));
    recording = false;
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    const auto threads1 = CpuByThread(pid);
    const double server1 = velk::bench::CpuSeconds(pid);
    const std::uint64_t messages1 = log.Messages(), metrics1 = log.Metrics();
    probing = false;
    writer.join();
    // The last values' messages, and what the store still replays.
    std::this_thread::sleep_for(std::chrono::milliseconds(3 * options.periodMs) + 2s);
    log.Measure(false);

    double publisherSeconds = 0;
    std::printf(
        "sparkplug_plant: devices=%d tags=%d period_ms=%d probe_ms=%d seconds=%.1f "
        "births_s=%.1f\n",
        options.devices, options.devices * options.tags, options.periodMs, options.probeMs, seconds,
        birthSeconds);
    std::printf("  server_cpu_cores_by_thread:");
    for (const auto& [name, total] : threads1) {
        const auto was = threads0.find(name);
        const double used = total - (was == threads0.end() ? 0.0 : was->second);
        if (IsPublisherThread(name)) publisherSeconds += used;
        if (used > 0) std::printf(" [%s]=%.3f", name.c_str(), used / seconds);
    }
    std::printf("\n  publisher_cpu_cores=%.3f (goal < 0.3) server_cpu_cores=%.3f\n",
                publisherSeconds / seconds, (server1 - server0) / seconds);
    std::printf("  ddata_per_s=%.1f metrics_per_s=%.1f historical_metrics=%llu\n",
                static_cast<double>(messages1 - messages0) / seconds,
                static_cast<double>(metrics1 - metrics0) / seconds,
                static_cast<unsigned long long>(log.Historical()));
    const std::vector<double> latencies = log.Latencies();
    const double bound = options.periodMs + static_cast<double>(kOnTimeSlack.count());
    const auto onTime = std::count_if(latencies.begin(), latencies.end(),
                                      [bound](double ms) { return ms <= bound; });
    std::printf(
        "  change_to_subscriber_ms: n=%zu p50=%.0f p99=%.0f max=%.0f "
        "within_period_plus_100ms=%.4f (goal p99 <= %.0f)\n",
        latencies.size(), Percentile(latencies, 0.5), Percentile(latencies, 0.99),
        Percentile(latencies, 1.0),
        latencies.empty() ? 0.0
                          : static_cast<double>(onTime) / static_cast<double>(latencies.size()),
        bound);
    std::vector<std::int16_t> values;
    {
        std::lock_guard lock(valuesLock);
        values = measured;
    }
    std::printf(
        "  broker_restart: outage_s=%d restarted=%d resubscribed=%d changes=%zu "
        "lost=%zu (goal 0)\n",
        options.outage, restarted ? 1 : 0, resubscribed ? 1 : 0, values.size() * devices.size(),
        log.Missing(devices, values));
    std::fflush(stdout);

    subscriber.Disconnect();
    server.Signal(SIGTERM);
    server.Wait(30s);
    plcsim.Stop();
    broker.Stop();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: velk_bench_sparkplug_plant [--devices N] [--tags T] [--seconds S] "
                     "[--period MS] [--probe MS (> period)] [--outage S]\n");
        return 2;
    }
    return Run(options);
}
