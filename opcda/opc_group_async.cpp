// The asynchronous I/O of a group (1.0 and 2.0): the calls queue a request and return at
// once; a worker of the launcher serves the oldest waiting request, exchanging with the
// devices without the item lock, and completes it through the senders.
#include <atomic>

#include "model/locks.h"
#include "model/o_device.h"
#include "model/o_modbus_tag.h"
#include "opc/opc_call_trace.h"
#include "opcda/item_rules.h"
#include "opcda/opc_group.h"
#include "opcda/opc_stream.h"
#include "opcda/tag_io.h"

namespace velk {

namespace {

using opc_calls::Traced;

// The process-wide cancel ID counter of 2.0 requests; the first ID is 1.
std::atomic<std::uint32_t> nextCancelID{1};

}  // namespace

HRESULT OPCGroup::Submit(std::unique_ptr<ASyncRequest> request) {
    // A client may have only so many requests waiting; the rest fail at once.
    if (!requests_.Reserve()) return E_OUTOFMEMORY;
    ASyncRequest* submitted = request.get();
    {
        std::lock_guard lock(itemLock_);
        requests_.Push(std::move(request));
    }
    std::weak_ptr<OPCGroup> weak = weak_from_this();
    const bool started = services_.launcher != nullptr && services_.launcher->Launch([weak] {
        if (auto self = weak.lock()) self->ServeOneRequest();
    });
    if (started) return S_OK;
    // A call that failed must not complete later: take its request back.
    std::lock_guard lock(itemLock_);
    requests_.Withdraw(submitted);
    return E_FAIL;
}

void OPCGroup::ServeOneRequest() {
    ItemLock lock(itemLock_);
    std::unique_ptr<ASyncRequest> request = requests_.TakeOldest();
    if (!request) return;
    if (HasCallback() && request->version2 && request->cancelled) {
        lock.unlock();
        const std::uint32_t hGroup = clientGroupHandle_;
        callbacks_.ForEach([&](IOPCDataCallbackSink& sink) {
            sink.OnCancelComplete(request->transactionID, hGroup);
        });
        request.reset();
        FinishRequest();
        return;
    }
    ExecuteRequest(lock, *request);
    CompleteRequest(lock, *request);
    if (lock.owns_lock()) lock.unlock();
    request.reset();
    FinishRequest();
}

void OPCGroup::ExecuteRequest(ItemLock& lock, ASyncRequest& request) {
    switch (request.kind) {
        case RequestKind::Read: {
            // Which items to read from their devices is decided under the item lock, the
            // devices are read without it, and the values are stored under it again.
            struct Planned {
                ItemTarget target;
                bool fromDevice;
                bool outOfService;
            };
            std::vector<Planned> planned;
            for (std::uint32_t handle : request.handles) {
                const ItemTarget target = table_.TargetOf(handle);
                if (!target.found || !target.readable) continue;
                const bool bothActive = active_ && target.active;
                bool fromDevice = request.source == OPC_DS_DEVICE;
                if (!fromDevice && bothActive) fromDevice = target.device->simulationEnabled != 0;
                planned.push_back(
                    {target, fromDevice, request.source != OPC_DS_DEVICE && !bothActive});
            }
            lock.unlock();
            for (const Planned& p : planned) {
                if (p.fromDevice)
                    services_.tagIO->ReadTags(*p.target.device, TagList{p.target.tag});
            }
            lock.lock();
            std::lock_guard data(services_.locks->tagData);
            for (const Planned& p : planned) {
                COPCItem* item = table_.Find(p.target.handle);
                if (item == nullptr) continue;  // removed meanwhile
                item->cachedQuality = p.outOfService ? kQualityOutOfService : item->tag->quality;
                item->cachedValue = ValueAsServed(*item->tag);
                item->changed = true;
            }
            break;
        }
        case RequestKind::Write: {
            request.errors.assign(request.handles.size(), S_OK);
            std::vector<ItemTarget> targets;
            for (std::uint32_t handle : request.handles) targets.push_back(table_.TargetOf(handle));
            lock.unlock();
            for (std::size_t i = 0; i < targets.size(); ++i) {
                if (!targets[i].found || i >= request.values.size()) {
                    request.errors[i] = OPC_E_INVALIDHANDLE;
                    continue;
                }
                request.errors[i] = services_.tagIO->WriteTag(*targets[i].device, *targets[i].tag,
                                                              request.values[i]);
            }
            lock.lock();
            for (std::size_t i = 0; i < targets.size(); ++i) {
                if (Failed(request.errors[i])) continue;
                if (COPCItem* item = table_.Find(targets[i].handle)) item->changed = true;
            }
            break;
        }
        case RequestKind::Refresh: {
            if (!active_) break;
            std::vector<TopicRead> reads = table_.TopicsToRead(false);
            lock.unlock();
            for (TopicRead& read : reads) services_.tagIO->ReadTags(*read.device, read.tags);
            lock.lock();
            std::lock_guard data(services_.locks->tagData);
            for (auto& [handle, item] : table_.All()) {
                if (!item->active || !IsReadable(*item->tag)) continue;
                item->cachedValue = ValueAsServed(*item->tag);
                item->cachedQuality = item->tag->quality;
                item->changed = true;
            }
            break;
        }
    }
}

void OPCGroup::CompleteRequest(ItemLock& lock, ASyncRequest& request) {
    if (HasCallback()) {
        if (request.kind == RequestKind::Read) {
            SendNotification(lock, request.transactionID, true);
        } else if (request.kind == RequestKind::Refresh) {
            SendNotification(lock, request.transactionID, false);
        } else {
            std::vector<std::uint32_t> clients;
            HRESULT master = S_OK;
            for (std::size_t i = 0; i < request.handles.size(); ++i) {
                const COPCItem* item = table_.Find(request.handles[i]);
                clients.push_back(item ? item->clientHandle : 0u);
                if (request.errors[i] != S_OK) master = S_FALSE;
            }
            const std::uint32_t hGroup = clientGroupHandle_;
            lock.unlock();
            callbacks_.ForEach([&](IOPCDataCallbackSink& sink) {
                sink.OnWriteComplete(request.transactionID, hGroup, master, clients,
                                     request.errors);
            });
        }
        return;
    }
    const auto target = advises_.Find(request.connection);
    if (!target) return;  // no such connection: the completion is dropped
    if (request.kind == RequestKind::Write) {
        SendStream(lock, *target, kFormatWriteComplete, request.transactionID, &request);
    } else {
        const std::uint32_t format =
            target->format.cfFormat == kFormatData ? kFormatData : kFormatDataTime;
        SendStream(lock, *target, format, request.transactionID, nullptr);
    }
}

void OPCGroup::FinishRequest() {
    std::shared_ptr<OPCGroup> release;
    {
        std::lock_guard lock(itemLock_);
        release = requests_.Finish();
    }
    // The table's reference may be the last one; it goes after the lock is released.
}

void OPCGroup::MarkRemoved(std::shared_ptr<OPCGroup> tableReference) {
    std::shared_ptr<OPCGroup> release;
    {
        std::lock_guard lock(itemLock_);
        release = requests_.MarkRemoved(std::move(tableReference));
    }
}

bool OPCGroup::IsRemoved() const {
    std::lock_guard lock(itemLock_);
    return requests_.IsRemoved();
}

std::uint32_t OPCGroup::OutstandingRequests() const {
    std::lock_guard lock(itemLock_);
    return requests_.Outstanding();
}

HRESULT OPCGroup::AsyncRead(std::uint32_t connection, std::uint32_t source,
                            const std::vector<std::uint32_t>& handles, std::uint32_t* transactionID,
                            std::vector<HRESULT>& errors) {
    if (transactionID == nullptr) return Traced("IOPCAsyncIO::Read", E_INVALIDARG);
    auto request = std::make_unique<ASyncRequest>();
    request->kind = RequestKind::Read;
    request->connection = connection;
    request->source = source;
    request->handles = handles;
    {
        std::lock_guard lock(itemLock_);
        request->transactionID = requests_.NextTransactionID();
    }
    *transactionID = request->transactionID;
    errors.assign(handles.size(), S_OK);
    return Traced("IOPCAsyncIO::Read", Submit(std::move(request)));
}

HRESULT OPCGroup::AsyncWrite(std::uint32_t connection, const std::vector<std::uint32_t>& handles,
                             const std::vector<Variant>& values, std::uint32_t* transactionID,
                             std::vector<HRESULT>& errors) {
    if (transactionID == nullptr || values.size() < handles.size()) {
        return Traced("IOPCAsyncIO::Write", E_INVALIDARG);
    }
    auto request = std::make_unique<ASyncRequest>();
    request->kind = RequestKind::Write;
    request->connection = connection;
    request->handles = handles;
    request->values.assign(values.begin(), values.begin() + handles.size());
    {
        std::lock_guard lock(itemLock_);
        request->transactionID = requests_.NextTransactionID();
    }
    *transactionID = request->transactionID;
    errors.assign(handles.size(), S_OK);
    return Traced("IOPCAsyncIO::Write", Submit(std::move(request)));
}

HRESULT OPCGroup::QueueRefresh(std::uint32_t connection, std::uint32_t source,
                               std::uint32_t* transactionID) {
    auto request = std::make_unique<ASyncRequest>();
    request->kind = RequestKind::Refresh;
    request->connection = connection;
    request->source = source;
    {
        std::lock_guard lock(itemLock_);
        request->transactionID = requests_.NextTransactionID();
    }
    *transactionID = request->transactionID;
    return Submit(std::move(request));
}

HRESULT OPCGroup::AsyncRefresh(std::uint32_t connection, std::uint32_t source,
                               std::uint32_t* transactionID) {
    if (transactionID == nullptr) return Traced("IOPCAsyncIO::Refresh", E_INVALIDARG);
    return Traced("IOPCAsyncIO::Refresh", QueueRefresh(connection, source, transactionID));
}

HRESULT OPCGroup::AsyncCancel(std::uint32_t /*transactionID*/) {
    return Traced("IOPCAsyncIO::Cancel", E_FAIL);
}

HRESULT OPCGroup::Read2(const std::vector<std::uint32_t>& handles, std::uint32_t transactionID,
                        std::uint32_t* cancelID, std::vector<HRESULT>& errors) {
    if (cancelID == nullptr) return Traced("IOPCAsyncIO2::Read", E_INVALIDARG);
    auto request = std::make_unique<ASyncRequest>();
    request->version2 = true;
    request->kind = RequestKind::Read;
    request->source = OPC_DS_DEVICE;
    request->handles = handles;
    request->transactionID = transactionID;
    request->cancelID = nextCancelID++;
    *cancelID = request->cancelID;
    errors.assign(handles.size(), S_OK);
    return Traced("IOPCAsyncIO2::Read", Submit(std::move(request)));
}

HRESULT OPCGroup::Write2(const std::vector<std::uint32_t>& handles,
                         const std::vector<Variant>& values, std::uint32_t transactionID,
                         std::uint32_t* cancelID, std::vector<HRESULT>& errors) {
    if (cancelID == nullptr || values.size() < handles.size()) {
        return Traced("IOPCAsyncIO2::Write", E_INVALIDARG);
    }
    auto request = std::make_unique<ASyncRequest>();
    request->version2 = true;
    request->kind = RequestKind::Write;
    request->handles = handles;
    request->values.assign(values.begin(), values.begin() + handles.size());
    request->transactionID = transactionID;
    request->cancelID = nextCancelID++;
    *cancelID = request->cancelID;
    errors.assign(handles.size(), S_OK);
    return Traced("IOPCAsyncIO2::Write", Submit(std::move(request)));
}

HRESULT OPCGroup::Refresh2(std::uint32_t source, std::uint32_t transactionID,
                           std::uint32_t* cancelID) {
    if (cancelID == nullptr) return Traced("IOPCAsyncIO2::Refresh2", E_INVALIDARG);
    auto request = std::make_unique<ASyncRequest>();
    request->version2 = true;
    request->kind = RequestKind::Refresh;
    request->source = source;
    request->transactionID = transactionID;
    request->cancelID = nextCancelID++;
    *cancelID = request->cancelID;
    return Traced("IOPCAsyncIO2::Refresh2", Submit(std::move(request)));
}

HRESULT OPCGroup::Cancel2(std::uint32_t cancelID) {
    std::lock_guard lock(itemLock_);
    return Traced("IOPCAsyncIO2::Cancel2", requests_.Cancel(cancelID) ? S_OK : E_FAIL);
}

HRESULT OPCGroup::SetEnable(bool enable) {
    callbackEnable_ = enable;
    return Traced("IOPCAsyncIO2::SetEnable", S_OK);
}

HRESULT OPCGroup::GetEnable(bool* enable) const {
    if (enable == nullptr) return Traced("IOPCAsyncIO2::GetEnable", E_INVALIDARG);
    *enable = callbackEnable_;
    return Traced("IOPCAsyncIO2::GetEnable", S_OK);
}

}  // namespace velk
