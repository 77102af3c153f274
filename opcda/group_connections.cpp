#include "opcda/group_connections.h"

#include <algorithm>

namespace velk {

HRESULT DataCallbackPoint::Advise(std::shared_ptr<IClientSink> sink, std::uint32_t* cookie) {
    if (!sink || cookie == nullptr) return E_POINTER;
    auto callback = QuerySink(sink, &IClientSink::QueryDataCallback);
    if (!callback) return CONNECT_E_CANNOTCONNECT;
    std::lock_guard lock(lock_);
    *cookie = connections_.Add(std::move(callback));
    return S_OK;
}

HRESULT DataCallbackPoint::Unadvise(std::uint32_t cookie) {
    std::lock_guard lock(lock_);
    return connections_.Remove(cookie) ? S_OK : CONNECT_E_NOCONNECTION;
}

void DataCallbackPoint::Clear() {
    std::lock_guard lock(lock_);
    connections_.Clear();
}

std::uint32_t AdviseConnections::Add(const FORMATETC& format, std::shared_ptr<IAdviseSink10> sink) {
    std::lock_guard lock(lock_);
    holder_ = true;
    AdviseConnection c;
    c.number = nextNumber_++;
    c.format = format;
    c.sink = std::move(sink);
    connections_.push_back(std::move(c));
    return connections_.back().number;
}

HRESULT AdviseConnections::Remove(std::uint32_t number) {
    std::shared_ptr<IAdviseSink10> dropped;  // released after the advise lock
    std::lock_guard lock(lock_);
    if (!holder_) return OLE_E_NOCONNECTION;
    auto it = std::find_if(connections_.begin(), connections_.end(),
                           [number](const auto& c) { return c.number == number; });
    if (it == connections_.end()) return OLE_E_NOCONNECTION;
    dropped = std::move(it->sink);
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
    std::vector<AdviseConnection> dropped;  // released after the advise lock
    std::lock_guard lock(lock_);
    dropped.swap(connections_);
}

}  // namespace velk
