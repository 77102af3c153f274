#pragma once
// The TCP connections that devices share: devices set to share reach a gateway at the same
// address and port through one connection, one exchange at a time, each request with its own
// device's unit identifier, so that a gateway that takes one connection serves them all.
//
// Locking: a connection's lock is taken under the device's exchange lock and held for one
// exchange (with its probe); nothing else is taken under it.
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "modbus/tcp_connection.h"

namespace velk {

class SharedTcpConnections {
  public:
    struct Entry {
        std::recursive_mutex lock;
        TcpConnection connection;  // under lock
    };

    SharedTcpConnections() = default;
    SharedTcpConnections(const SharedTcpConnections&) = delete;
    SharedTcpConnections& operator=(const SharedTcpConnections&) = delete;
    // Closes the connections; no device uses them any more.
    ~SharedTcpConnections() {
        if (sockets_ == nullptr) return;
        for (auto& [key, entry] : entries_) sockets_->CloseSocket(entry->connection.socket);
    }

    // The shared connection to an address and port, made over sockets; lives as long as
    // this object.
    Entry& Of(const std::string& address, std::uint16_t port, ITcpSockets& sockets) {
        std::lock_guard<std::mutex> lock(lock_);
        sockets_ = &sockets;
        auto& entry = entries_[{address, port}];
        if (!entry) entry = std::make_unique<Entry>();
        return *entry;
    }

  private:
    std::mutex lock_;
    ITcpSockets* sockets_ = nullptr;
    std::map<std::pair<std::string, std::uint16_t>, std::unique_ptr<Entry>> entries_;
};

}  // namespace velk
