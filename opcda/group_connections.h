#pragma once
// A group's client connections: the IOPCDataCallback connection point (2.0) and the
// data-advise holder of the 1.0 data object. Each has its own lock; the callback lock is
// taken only after the group's item lock was released, the advise lock may be taken while
// it is held (and the item lock is never waited for under the advise lock).
#include <cstdint>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "opcda/client_sinks.h"
#include "opcda/opc_da_types.h"

namespace velk {

// One connection of the 1.0 data object.
struct AdviseConnection {
    std::uint32_t number = 0;
    FORMATETC format;
    IAdviseSink10* sink = nullptr;
};

class DataCallbackPoint {
  public:
    // E_POINTER for a null sink or cookie, CONNECT_E_CANNOTCONNECT for a sink without
    // IOPCDataCallback (not traced here).
    HRESULT Advise(IClientSink* sink, std::uint32_t* cookie);
    // CONNECT_E_NOCONNECTION for a cookie that is not connected.
    HRESULT Unadvise(std::uint32_t cookie);
    bool Any() const;
    // Calls every sink in advise order, under the connection lock (so that Unadvise waits
    // for a call in progress).
    template <class F>
    void ForEach(F call) {
        std::lock_guard lock(lock_);
        for (auto& [cookie, sink] : sinks_) call(*sink);
    }
    void Clear();

  private:
    mutable std::recursive_mutex lock_;
    std::vector<std::pair<std::uint32_t, IOPCDataCallbackSink*>> sinks_;
    std::uint32_t nextCookie_ = 1;
};

class AdviseConnections {
  public:
    // Enters a connection (the holder is made on the first); returns its number.
    std::uint32_t Add(const FORMATETC& format, IAdviseSink10* sink);
    // OLE_E_NOCONNECTION when there is no holder or no such connection.
    HRESULT Remove(std::uint32_t number);
    HRESULT List(std::vector<AdviseConnection>* connections) const;
    // The first connection of a data format, which gets the data changes.
    std::optional<AdviseConnection> FirstDataConnection() const;
    std::optional<AdviseConnection> Find(std::uint32_t number) const;
    void Clear();

  private:
    mutable std::recursive_mutex lock_;
    bool holder_ = false;
    std::vector<AdviseConnection> connections_;
    std::uint32_t nextNumber_ = 1;
};

}  // namespace velk
