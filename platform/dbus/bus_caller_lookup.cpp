#include "platform/dbus/bus_caller_lookup.h"

namespace velk {
namespace {

constexpr const char* kBusInterface = "org.freedesktop.DBus";
// How long the bus may take to tell a client's process id.
constexpr std::chrono::milliseconds kBusQueryTimeout{2000};
constexpr std::chrono::minutes kRefusalTracePeriod{1};

}  // namespace

BusCallerLookup::BusCallerLookup(Report report) : report_(std::move(report)) {}

void BusCallerLookup::WithClient(const std::string& name, Work work) {
    Client& client = clients_[name];
    if (client.pid) {
        work(BusClient{name, *client.pid});
        return;
    }
    client.waiting.push_back(std::move(work));
    if (client.asked) return;
    client.asked = true;
    if (bus_ == nullptr) {
        LearnProcess(name, 0);
        return;
    }
    try {
        bus_->callMethodAsync("GetConnectionUnixProcessID")
            .onInterface(kBusInterface)
            .withTimeout(kBusQueryTimeout)
            .withArguments(name)
            .uponReplyInvoke([this, name](const sdbus::Error* error, std::uint32_t pid) {
                LearnProcess(name, error != nullptr ? 0 : pid);
            });
    } catch (const sdbus::Error&) {
        LearnProcess(name, 0);
    }
}

void BusCallerLookup::LearnProcess(const std::string& name, std::uint32_t pid) {
    auto found = clients_.find(name);
    if (found == clients_.end()) return;  // the client has left meanwhile
    found->second.pid = pid;  // 0: the client has left already, or the bus does not tell
    std::vector<Work> waiting;
    waiting.swap(found->second.waiting);
    for (auto& work : waiting) work(BusClient{name, pid});
}

// A refused call is traced once per client and minute; the ones in between are counted into
// the next line.
void BusCallerLookup::NoteRefusal(const std::string& caller, const std::string& path) {
    const auto now = std::chrono::steady_clock::now();
    Refusals& refusals = refusals_[caller];
    if (refusals.traced && now - refusals.lastTraced < kRefusalTracePeriod) {
        ++refusals.untraced;
        return;
    }
    std::string line = " to " + path + ", an object of another client (E_ACCESSDENIED)";
    if (refusals.untraced > 0) {
        line += "; " + std::to_string(refusals.untraced) + " more refused since the last line";
    }
    refusals = Refusals{now, true, 0};
    WithClient(caller, [this, line](const BusClient& who) {
        if (report_) report_("refused a call of " + who.Describe() + line);
    });
}

void BusCallerLookup::Forget(const std::string& name) {
    clients_.erase(name);
    refusals_.erase(name);
}

}  // namespace velk
