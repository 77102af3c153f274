#include "tools/client/bus/bus_session.h"

#include <poll.h>

#include <cerrno>

#include "tools/client/bus/client_failure.h"
#include "tools/client/bus/signal_watch.h"

namespace velk::client {
namespace {

std::unique_ptr<sdbus::IConnection> Open(const BusChoice& choice) {
    switch (choice.kind) {
        case BusChoice::Kind::System:
            return sdbus::createSystemBusConnection();
        case BusChoice::Kind::Address:
            return sdbus::createSessionBusConnectionWithAddress(choice.address);
        case BusChoice::Kind::Session:
            break;
    }
    return sdbus::createSessionBusConnection();
}

constexpr const char* kBusDaemonName = "org.freedesktop.DBus";

}  // namespace

BusSession::BusSession(const BusChoice& choice) : choice_(choice) {
    try {
        connection_ = Open(choice);
    } catch (const sdbus::Error& error) {
        throw ClientFailure(
            kExitNoServer, "cannot connect to " + choice.Description() + ": " + error.getMessage());
    }
}

BusSession::~BusSession() = default;

std::unique_ptr<sdbus::IProxy> BusSession::Proxy(const std::string& destination,
                                                 const std::string& path) {
    return sdbus::createProxy(*connection_, destination, path);
}

std::string BusSession::NewObjectPath(std::string_view kind) {
    return "/VELK/Client/" + std::string(kind) + std::to_string(nextObject_++);
}

void BusSession::WatchName(const std::string& busName, std::function<void()> whenGone) {
    // One proxy per watch: a proxy takes one handler per signal.
    auto& watch = nameWatches_.emplace_back(Proxy(kBusDaemonName, "/org/freedesktop/DBus"));
    auto fired = std::make_shared<bool>(false);
    watch->uponSignal("NameOwnerChanged")
        .onInterface("org.freedesktop.DBus")
        .call([busName, whenGone = std::move(whenGone), fired](
                  const std::string& name, const std::string&, const std::string& newOwner) {
            if (*fired || name != busName || !newOwner.empty()) return;
            *fired = true;
            whenGone();
        });
    watch->finishRegistration();
}

bool BusSession::NameHasOwner(const std::string& busName) {
    auto daemon = Proxy(kBusDaemonName, "/org/freedesktop/DBus");
    bool owned = false;
    daemon->callMethod("NameHasOwner")
        .onInterface("org.freedesktop.DBus")
        .withArguments(busName)
        .storeResultsTo(owned);
    return owned;
}

int BusSession::Run(std::optional<std::chrono::milliseconds> limit) {
    stopping_ = false;
    const auto end = limit ? std::chrono::steady_clock::now() + *limit
                           : std::chrono::steady_clock::time_point::max();
    SignalWatch* signals = SignalWatch::Current();
    while (!stopping_) {
        // Everything already received first: a sync call may have queued sink calls.
        while (!stopping_ && connection_->processPendingRequest()) {
        }
        if (stopping_) break;
        const sdbus::IConnection::PollData data = connection_->getEventLoopPollData();
        int timeout = data.getPollTimeout();
        if (limit) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (left.count() <= 0) return 0;
            if (timeout < 0 || left.count() < timeout) timeout = static_cast<int>(left.count());
        }
        pollfd fds[2] = {{data.fd, data.events, 0},
                         {signals ? signals->Descriptor() : -1, POLLIN, 0}};
        const int ready = poll(fds, 2, timeout);
        if (ready < 0 && errno != EINTR) {
            throw ClientFailure(kExitFailed, "waiting on the bus failed");
        }
        if (signals && (fds[1].revents & POLLIN)) {
            if (const int signal = signals->Take()) return signal;
        }
    }
    return 0;
}

}  // namespace velk::client
