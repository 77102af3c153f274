// The asynchronous I/O of a group (1.0 and 2.0): the calls queue a request and return at
// once; a worker of the launcher takes the oldest waiting request and plans it under the
// item lock, the devices' readers run its exchanges without the lock (the worker is free
// again meanwhile), and the last exchange completes it through the senders, after the
// completions of the group's earlier requests.
#include <algorithm>
#include <atomic>

#include "model/locks.h"
#include "model/o_device.h"
#include "model/o_modbus_tag.h"
#include "opc/opc_call_trace.h"
#include "opc/tag_io.h"
#include "opcda/item_rules.h"
#include "opcda/opc_group.h"
#include "opcda/opc_stream.h"

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

// A request from the end of its planning to the end of its last exchange. The exchanges
// run on the devices' readers and each holds a share of it; whichever share goes last (the
// last exchange ended, or a reader dropped it unrun at a stop) completes the request, so no
// thread waits for a device on the request's behalf and every request is completed once.
struct OPCGroup::PendingRequest {
    PendingRequest(std::shared_ptr<OPCGroup> owner, std::uint64_t orderTicket,
                   std::unique_ptr<ASyncRequest> taken, RequestPlan planned)
        : group(std::move(owner)),
          ticket(orderTicket),
          request(std::move(taken)),
          plan(std::move(planned)) {}
    ~PendingRequest() {
        try {
            group->CompleteInOrder(ticket, std::move(request), std::move(plan));
        } catch (...) {
            // Out of memory while completing: the completion is lost, not the process.
        }
    }
    PendingRequest(const PendingRequest&) = delete;
    PendingRequest& operator=(const PendingRequest&) = delete;

    std::shared_ptr<OPCGroup> group;
    std::uint64_t ticket;
    std::unique_ptr<ASyncRequest> request;
    RequestPlan plan;
};

void OPCGroup::ServeOneRequest() {
    ItemLock lock(itemLock_);
    std::unique_ptr<ASyncRequest> request = requests_.TakeOldest();
    if (!request) return;
    const std::uint64_t ticket = order_.nextTicket++;
    RequestPlan plan = PlanRequest(*request);
    lock.unlock();
    auto pending = std::make_shared<PendingRequest>(shared_from_this(), ticket, std::move(request),
                                                    std::move(plan));
    if (!pending->plan.cancelled) StartExchanges(pending);
}

OPCGroup::RequestPlan OPCGroup::PlanRequest(ASyncRequest& request) {
    RequestPlan plan;
    if (HasCallback() && request.version2 && request.cancelled) {
        plan.cancelled = true;
        return plan;
    }
    switch (request.kind) {
        case RequestKind::Read:
            // Which items to read from their devices is decided here, the devices are read
            // without the item lock, and the values are stored under it again.
            for (std::uint32_t handle : request.handles) {
                const ItemTarget target = table_.TargetOf(handle);
                if (!target.found || !target.readable) continue;
                const bool bothActive = active_ && target.active;
                bool fromDevice = request.source == OPC_DS_DEVICE;
                if (!fromDevice && bothActive) fromDevice = target.device->simulationEnabled != 0;
                plan.reads.push_back(
                    {target, fromDevice, request.source != OPC_DS_DEVICE && !bothActive});
            }
            break;
        case RequestKind::Write:
            // A write that no exchange reports on (its reader was stopped) failed.
            request.errors.assign(request.handles.size(), E_FAIL);
            for (std::size_t i = 0; i < request.handles.size(); ++i) {
                plan.writes.push_back(table_.TargetOf(request.handles[i]));
                if (!plan.writes.back().found || i >= request.values.size())
                    request.errors[i] = OPC_E_INVALIDHANDLE;
            }
            break;
        case RequestKind::Refresh:
            plan.refreshed = active_;
            if (plan.refreshed) plan.topics = table_.TopicsToRead(false);
            break;
    }
    return plan;
}

void OPCGroup::StartExchanges(const std::shared_ptr<PendingRequest>& pending) {
    // One exchange per device, with that device's part of the request in request order.
    std::vector<std::pair<ODevice*, std::vector<std::size_t>>> byDevice;
    auto add = [&byDevice](ODevice* device, std::size_t index) {
        auto it = std::find_if(byDevice.begin(), byDevice.end(),
                               [device](const auto& entry) { return entry.first == device; });
        if (it == byDevice.end()) it = byDevice.insert(byDevice.end(), {device, {}});
        it->second.push_back(index);
    };
    const RequestPlan& plan = pending->plan;
    for (std::size_t i = 0; i < plan.reads.size(); ++i)
        if (plan.reads[i].fromDevice) add(plan.reads[i].target.device, i);
    for (std::size_t i = 0; i < plan.writes.size(); ++i)
        if (pending->request->errors[i] != OPC_E_INVALIDHANDLE) add(plan.writes[i].device, i);
    for (std::size_t i = 0; i < plan.topics.size(); ++i) add(plan.topics[i].device, i);

    ITagIO* io = services_.tagIO;
    for (auto& [device, indexes] : byDevice) {
        auto exchange = [pending, io, device, indexes = std::move(indexes)] {
            ASyncRequest& request = *pending->request;
            const RequestPlan& planned = pending->plan;
            for (std::size_t i : indexes) {
                switch (request.kind) {
                    case RequestKind::Read:
                        io->ReadTags(*device, TagList{planned.reads[i].target.tag});
                        break;
                    case RequestKind::Write:
                        // Each exchange sets only its own items' results.
                        request.errors[i] =
                            io->WriteTag(*device, *planned.writes[i].tag, request.values[i]);
                        break;
                    case RequestKind::Refresh:
                        io->ReadTags(*device, planned.topics[i].tags);
                        break;
                }
            }
        };
        // On the device's reader a silent controller keeps only its own requests waiting.
        if (services_.deviceReads != nullptr) {
            services_.deviceReads->LaunchOn(*device, std::move(exchange));
        } else {
            exchange();
        }
    }
}

void OPCGroup::StoreResults(ASyncRequest& request, const RequestPlan& plan) {
    switch (request.kind) {
        case RequestKind::Read: {
            std::lock_guard data(services_.locks->tagData);
            for (const RequestPlan::Read& p : plan.reads) {
                COPCItem* item = table_.Find(p.target.handle);
                if (item == nullptr) continue;  // removed meanwhile
                item->cachedQuality = p.outOfService ? kQualityOutOfService : item->tag->quality;
                item->cachedValue = ValueAsServed(*item->tag);
                item->changed = true;
            }
            break;
        }
        case RequestKind::Write:
            for (std::size_t i = 0; i < plan.writes.size(); ++i) {
                if (Failed(request.errors[i])) continue;
                if (COPCItem* item = table_.Find(plan.writes[i].handle)) item->changed = true;
            }
            break;
        case RequestKind::Refresh: {
            if (!plan.refreshed) break;
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

void OPCGroup::CompleteInOrder(std::uint64_t ticket, std::unique_ptr<ASyncRequest> request,
                               RequestPlan plan) {
    std::vector<std::shared_ptr<OPCGroup>> releases;
    ItemLock lock(itemLock_);
    order_.ended.emplace(ticket, CompletionOrder::Ended{std::move(request), std::move(plan)});
    // Another thread is sending completions: it sends this one too, in its turn.
    if (order_.completing) return;
    order_.completing = true;
    for (auto next = order_.ended.find(order_.nextToComplete); next != order_.ended.end();
         next = order_.ended.find(order_.nextToComplete)) {
        CompletionOrder::Ended ended = std::move(next->second);
        order_.ended.erase(next);
        ++order_.nextToComplete;
        if (ended.plan.cancelled) {
            const std::uint32_t hGroup = clientGroupHandle_;
            const std::uint32_t transactionID = ended.request->transactionID;
            lock.unlock();
            callbacks_.ForEach(
                [&](IOPCDataCallbackSink& sink) { sink.OnCancelComplete(transactionID, hGroup); });
        } else {
            StoreResults(*ended.request, ended.plan);
            CompleteRequest(lock, *ended.request);
        }
        if (!lock.owns_lock()) lock.lock();
        // The table's reference may be the last one; it goes after the item lock.
        releases.push_back(requests_.Finish());
    }
    order_.completing = false;
    lock.unlock();
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
