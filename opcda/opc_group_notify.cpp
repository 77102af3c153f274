// The senders of a group (2.0 notifications, 1.0 streams), its 1.0 data object and its
// IOPCDataCallback connection point. Every sender releases the item lock before a sink is
// called.
#include "model/locks.h"
#include "model/o_modbus_tag.h"
#include "opc/opc_call_trace.h"
#include "opcda/item_rules.h"
#include "opcda/opc_group.h"
#include "opcda/opc_stream.h"

namespace velk {

namespace {

using opc_calls::Traced;

// The value in the item's requested type; an unconvertible value travels empty with the
// conversion's error.
Variant ConvertForClient(const Variant& cached, VarType requested, HRESULT* error) {
    Variant v = cached;
    if (requested == VT_EMPTY || v.Type() == requested || v.IsEmpty()) return v;
    const HRESULT hr = v.ChangeType(requested);
    if (Failed(hr)) {
        if (error) *error = hr;
        return Variant();
    }
    return v;
}

// The entries of a 1.0 data stream for the items (tagData taken here).
std::vector<StreamItem> StreamItemsOf(const std::vector<COPCItem*>& items,
                                      std::recursive_mutex& tagData) {
    std::vector<StreamItem> entries;
    entries.reserve(items.size());
    std::lock_guard data(tagData);
    for (const COPCItem* item : items) {
        StreamItem e;
        e.hClient = item->clientHandle;
        e.quality = item->cachedQuality;
        e.timestamp = item->tag->timestamp;
        e.value = OpcValue::Of(ConvertForClient(item->cachedValue, item->requestedType, nullptr));
        entries.push_back(std::move(e));
    }
    return entries;
}

}  // namespace

ItemValueList OPCGroup::BuildItemValues(const std::vector<COPCItem*>& items) const {
    ItemValueList list;
    std::lock_guard data(services_.locks->tagData);
    for (const COPCItem* item : items) {
        HRESULT error = S_OK;
        list.clientHandles.push_back(item->clientHandle);
        list.values.push_back(ConvertForClient(item->cachedValue, item->requestedType, &error));
        list.qualities.push_back(item->cachedQuality);
        list.timestamps.push_back(item->tag->timestamp);
        list.errors.push_back(error);
    }
    return list;
}

void OPCGroup::SendDataChange(ItemLock& lock) {
    if (HasCallback()) {
        sendPending_ = false;
        SendNotification(lock, 0, false);
        return;
    }
    if (sendPending_) {
        if (const auto target = advises_.FirstDataConnection()) {
            sendPending_ = false;
            SendStream(lock, *target, target->format.cfFormat, 0, nullptr);
            return;
        }
    }
    lock.unlock();
}

void OPCGroup::SendNotification(ItemLock& lock, std::uint32_t transactionID, bool readComplete) {
    const ItemValueList items = BuildItemValues(table_.TakeChanged());
    HRESULT masterQuality = S_OK;
    HRESULT masterError = S_OK;
    for (std::uint16_t q : items.qualities) {
        if (q < kQualityGood) masterQuality = S_FALSE;
    }
    for (HRESULT e : items.errors) {
        if (e != S_OK) masterError = S_FALSE;  // a value that did not convert
    }
    const std::uint32_t hGroup = clientGroupHandle_;
    lock.unlock();
    if (!readComplete && transactionID == 0 && !callbackEnable_) return;
    callbacks_.ForEach([&](IOPCDataCallbackSink& sink) {
        if (readComplete) {
            sink.OnReadComplete(transactionID, hGroup, masterQuality, masterError, items);
        } else {
            sink.OnDataChange(transactionID, hGroup, masterQuality, masterError, items);
        }
    });
}

void OPCGroup::SendStream(ItemLock& lock, const AdviseConnection& connection, std::uint32_t format,
                          std::uint32_t transactionID, const ASyncRequest* writeRequest) {
    std::vector<std::uint8_t> stream;
    const std::uint32_t hGroup = clientGroupHandle_;
    if (writeRequest != nullptr) {
        std::vector<WriteCompleteItem> results;
        for (std::size_t i = 0; i < writeRequest->handles.size(); ++i) {
            const COPCItem* item = table_.Find(writeRequest->handles[i]);
            results.push_back({item ? item->clientHandle : 0u, writeRequest->errors[i]});
        }
        stream = BuildWriteCompleteStream(hGroup, transactionID, results);
    } else {
        stream = BuildDataStream(format == kFormatDataTime, hGroup, transactionID,
                                 StreamItemsOf(table_.TakeChanged(), services_.locks->tagData));
    }
    lock.unlock();
    FORMATETC sent = connection.format;
    sent.cfFormat = format;
    connection.sink->OnDataChange(sent, stream);
}

// ---- 1.0 data object ----

HRESULT OPCGroup::DAdvise(const FORMATETC* format, std::uint32_t /*flags*/,
                          std::shared_ptr<IAdviseSink10> sink, std::uint32_t* connection) {
    if (format == nullptr || !sink || connection == nullptr) {
        return Traced("IDataObject::DAdvise", E_INVALIDARG);
    }
    if (format->aspect != DVASPECT_CONTENT || format->hasTargetDevice || format->index != -1 ||
        format->tymed != TYMED_HGLOBAL) {
        return Traced("IDataObject::DAdvise", E_FAIL);
    }
    *connection = advises_.Add(*format, std::move(sink));
    // The initial refresh is queued after the advise lock was released.
    std::uint32_t transactionID = 0;
    QueueRefresh(*connection, OPC_DS_CACHE, &transactionID);
    return Traced("IDataObject::DAdvise", S_OK);
}

HRESULT OPCGroup::DUnadvise(std::uint32_t connection) {
    const HRESULT hr = advises_.Remove(connection);
    if (Failed(hr)) Traced("IDataObject::DUnadvise", hr);
    return hr;
}

HRESULT OPCGroup::EnumDAdvise(std::vector<AdviseConnection>* connections) const {
    return advises_.List(connections);
}

HRESULT OPCGroup::QueryGetData(const FORMATETC* format) const {
    if (format == nullptr) return E_INVALIDARG;
    if (format->tymed != TYMED_HGLOBAL) return DV_E_TYMED;
    if (format->cfFormat == kFormatData || format->cfFormat == kFormatDataTime) return S_OK;
    return DV_E_FORMATETC;
}

HRESULT OPCGroup::GetData(const FORMATETC* format, std::vector<std::uint8_t>* stream) {
    const HRESULT hr = QueryGetData(format);
    if (Failed(hr)) return hr;
    if (stream == nullptr) return E_INVALIDARG;
    std::lock_guard lock(itemLock_);
    *stream = BuildDataStream(format->cfFormat == kFormatDataTime, clientGroupHandle_, 0,
                              StreamItemsOf(table_.TakeChanged(), services_.locks->tagData));
    return S_OK;
}

HRESULT OPCGroup::GetDataHere() { return Traced("IDataObject::GetDataHere", E_NOTIMPL); }
HRESULT OPCGroup::GetCanonicalFormatEtc() {
    return Traced("IDataObject::GetCanonicalFormatEtc", E_NOTIMPL);
}
HRESULT OPCGroup::SetData() { return Traced("IDataObject::SetData", E_NOTIMPL); }
HRESULT OPCGroup::EnumFormatEtc() { return Traced("IDataObject::EnumFormatEtc", E_NOTIMPL); }

// ---- connection point ----

HRESULT OPCGroup::AdviseCallback(std::shared_ptr<IClientSink> sink, std::uint32_t* cookie) {
    return Traced("IConnectionPoint<IOPCDataCallback>::Advise",
                  callbacks_.Advise(std::move(sink), cookie));
}

HRESULT OPCGroup::UnadviseCallback(std::uint32_t cookie) {
    return Traced("IConnectionPoint<IOPCDataCallback>::Unadvise", callbacks_.Unadvise(cookie));
}

}  // namespace velk
