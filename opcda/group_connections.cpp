#include "opcda/group_connections.h"

#include <algorithm>

namespace velk {

HRESULT DataCallbackPoint::Advise(IClientSink* sink, std::uint32_t* cookie) {
    if (sink == nullptr || cookie == nullptr) return E_POINTER;
    IOPCDataCallbackSink* callback = sink->QueryDataCallback();
    if (callback == nullptr) return CONNECT_E_CANNOTCONNECT;
    std::lock_guard lock(lock_);
    *cookie = nextCookie_++;
    sinks_.emplace_back(*cookie, callback);
    return S_OK;
}

HRESULT DataCallbackPoint::Unadvise(std::uint32_t cookie) {
    std::lock_guard lock(lock_);
    auto it = std::find_if(sinks_.begin(), sinks_.end(),
                           [cookie](const auto& c) { return c.first == cookie; });
    if (it == sinks_.end()) return CONNECT_E_NOCONNECTION;
    sinks_.erase(it);
    return S_OK;
}

bool DataCallbackPoint::Any() const {
    std::lock_guard lock(lock_);
    return !sinks_.empty();
}

void DataCallbackPoint::Clear() {
    std::lock_guard lock(lock_);
    sinks_.clear();
}

std::uint32_t AdviseConnections::Add(const FORMATETC& format, IAdviseSink10* sink) {
    std::lock_guard lock(lock_);
    holder_ = true;
    AdviseConnection c;
    c.number = nextNumber_++;
    c.format = format;
    c.sink = sink;
    connections_.push_back(c);
    return c.number;
}

HRESULT AdviseConnections::Remove(std::uint32_t number) {
    std::lock_guard lock(lock_);
    if (!holder_) return OLE_E_NOCONNECTION;
    auto it = std::find_if(connections_.begin(), connections_.end(),
                           [number](const auto& c) { return c.number == number; });
    if (it == connections_.end()) return OLE_E_NOCONNECTION;
    connections_.erase(it);
    return S_OK;
}

HRESULT AdviseConnections::List(std::vector<AdviseConnection>* connections) const {
    if (connections == nullptr) return E_INVALIDARG;
    std::lock_guard lock(lock_);
    if (!holder_) return OLE_E_NOCONNECTION;
    *connections = connections_;
    return S_OK;
}

std::optional<AdviseConnection> AdviseConnections::FirstDataConnection() const {
    std::lock_guard lock(lock_);
    for (const AdviseConnection& c : connections_) {
        if (c.format.cfFormat == kFormatData || c.format.cfFormat == kFormatDataTime) return c;
    }
    return std::nullopt;
}

std::optional<AdviseConnection> AdviseConnections::Find(std::uint32_t number) const {
    std::lock_guard lock(lock_);
    for (const AdviseConnection& c : connections_) {
        if (c.number == number) return c;
    }
    return std::nullopt;
}

void AdviseConnections::Clear() {
    std::lock_guard lock(lock_);
    connections_.clear();
}

}  // namespace velk
