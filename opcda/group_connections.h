#pragma once
// A group's client connections: the IOPCDataCallback connection point (2.0) and the
// data-advise holder of the 1.0 data object. Each has its own lock; the callback lock is
// taken only after the group's item lock was released, the advise lock may be taken while
// it is held (and the item lock is never waited for under the advise lock). Both hold the
// client's sinks by shared ownership: a sender keeps the sink it calls alive through the
// call, whatever the client unadvises or releases meanwhile.
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "opc/sink_connections.h"
#include "opcda/client_sinks.h"
#include "opcda/opc_da_types.h"

namespace velk {

// One connection of the 1.0 data object; a copy holds the sink.
struct AdviseConnection {
    std::uint32_t number = 0;
    FORMATETC format;
    std::shared_ptr<IAdviseSink10> sink;
};

class DataCallbackPoint {
  public:
    // E_POINTER for a null sink or cookie, CONNECT_E_CANNOTCONNECT for a sink without
    // IOPCDataCallback (not traced here).
    HRESULT Advise(std::shared_ptr<IClientSink> sink, std::uint32_t* cookie);
    // CONNECT_E_NOCONNECTION for a cookie that is not connected.
    HRESULT Unadvise(std::uint32_t cookie);
    // Never waits for a call in progress.
    bool Any() const { return connections_.Any(); }
    // Calls every sink in advise order, under the connection lock (so that Unadvise waits
    // for a call in progress). Each sink is held for its call, so one that unadvises itself
    // from within the call stays until the call returns.
    template <class F>
    void ForEach(F call) {
        std::lock_guard lock(lock_);
        for (const auto& sink : connections_.Sinks()) call(*sink);
    }
    void Clear();

  private:
    std::recursive_mutex lock_;  // the connection lock, held through the calls
    SinkConnections<IOPCDataCallbackSink> connections_;
};

class AdviseConnections {
  public:
    // Enters a connection (the holder is made on the first); returns its number.
    std::uint32_t Add(const FORMATETC& format, std::shared_ptr<IAdviseSink10> sink);
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
