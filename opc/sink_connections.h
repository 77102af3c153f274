#pragma once
// The connections of one connection point (IOPCShutdown, IOPCDataCallback, IOPCEventSink):
// the client's sinks, each under the cookie its Advise returned, in advise order.
//
// How the DA and AE objects own their clients' sinks: a connection holds its sink by shared
// ownership, and so does every thread that has taken the sink for a call. An Unadvise, or
// the client's release of the object, drops the connection's reference only; a call in
// progress on another thread keeps the sink until it returns, and the sink ends with the
// last reference. No sink is called, and none is destroyed, under this list's lock.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace velk {

template <class Sink>
class SinkConnections {
  public:
    using Ref = std::shared_ptr<Sink>;

    // Enters a connection; returns its cookie (1 for the first, never 0).
    std::uint32_t Add(Ref sink) {
        std::lock_guard lock(lock_);
        const std::uint32_t cookie = nextCookie_++;
        connections_.push_back({cookie, std::move(sink)});
        return cookie;
    }

    // False when the cookie is not connected.
    bool Remove(std::uint32_t cookie) {
        Ref dropped;
        std::lock_guard lock(lock_);
        auto it = std::find_if(connections_.begin(), connections_.end(),
                               [cookie](const Connection& c) { return c.cookie == cookie; });
        if (it == connections_.end()) return false;
        dropped = std::move(it->sink);  // released after the lock (declared before it)
        connections_.erase(it);
        return true;
    }

    // The sink of the cookie, held for the caller's calls; null when not connected.
    Ref Find(std::uint32_t cookie) const {
        std::lock_guard lock(lock_);
        for (const Connection& c : connections_) {
            if (c.cookie == cookie) return c.sink;
        }
        return nullptr;
    }

    // The first connection's sink, held for the caller's calls; null when there is none.
    Ref First() const {
        std::lock_guard lock(lock_);
        return connections_.empty() ? nullptr : connections_.front().sink;
    }

    // The sinks in advise order, each held for the caller's calls.
    std::vector<Ref> Sinks() const {
        std::lock_guard lock(lock_);
        std::vector<Ref> sinks;
        sinks.reserve(connections_.size());
        for (const Connection& c : connections_) sinks.push_back(c.sink);
        return sinks;
    }

    bool Any() const {
        std::lock_guard lock(lock_);
        return !connections_.empty();
    }

    void Clear() {
        std::vector<Connection> dropped;
        std::lock_guard lock(lock_);
        dropped.swap(connections_);
    }

  private:
    struct Connection {
        std::uint32_t cookie = 0;
        Ref sink;
    };
    mutable std::mutex lock_;
    std::vector<Connection> connections_;
    std::uint32_t nextCookie_ = 1;
};

}  // namespace velk
