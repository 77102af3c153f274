#include "opcda/opc_group.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "app/trace_file.h"
#include "model/locks.h"
#include "model/o_analog_data.h"
#include "model/o_device.h"
#include "model/o_modbus_tag.h"
#include "opcda/c_enum_item_attributes.h"
#include "opcda/item_rules.h"
#include "opcda/opc_server.h"
#include "opcda/opc_stream.h"
#include "opcda/tag_io.h"
#include "opcda/update_timing.h"
#include "platform/clock.h"
#include "platform/worker_thread.h"

namespace velk {

namespace {

constexpr std::uint32_t kMinimumUpdateRate = 10;
constexpr int kUpdateThreadWaitMs = 5000;

// The process-wide cancel ID counter of 2.0 requests; the first ID is 1.
std::atomic<std::uint32_t> nextCancelID{1};
std::atomic<std::size_t> liveGroups{0};

HRESULT Traced(const char* method, HRESULT result) {
    TraceResult(std::string("Called ") + method, result, true);
    return result;
}

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

}  // namespace

OPCGroup::OPCGroup(GroupServices services, std::weak_ptr<OPCServer> owner,
                   std::shared_ptr<std::atomic<FileTime>> ownerLastUpdate,
                   std::uint32_t serverHandle)
    : services_(std::move(services)),
      owner_(std::move(owner)),
      ownerLastUpdate_(std::move(ownerLastUpdate)),
      serverHandle_(serverHandle) {
    ++liveGroups;
}

std::size_t OPCGroup::LiveGroups() { return liveGroups.load(); }

OPCGroup::~OPCGroup() {
    running_ = false;
    // The thread holds the group only during a cycle, so it is between cycles now (or this
    // is that thread): the wait is short, and bounded whatever happens.
    if (!updater_.Stop(std::chrono::milliseconds(kUpdateThreadWaitMs))) {
        Trace("OPC DA group update thread still running after 5000 ms; left to end on its own");
    }
    topics_.clear();
    if (services_.requests) services_.requests->Give(static_cast<std::uint32_t>(requests_.size()));
    requests_.clear();
    {
        std::lock_guard lock(connectionLock_);
        callbacks_.clear();
    }
    {
        std::lock_guard lock(adviseLock_);
        adviseConnections_.clear();
    }
    {
        std::lock_guard lock(itemLock_);
        if (services_.items) services_.items->Give(static_cast<std::uint32_t>(items_.size()));
        items_.clear();
    }
    Trace("OPC DA group object destroyed");
    --liveGroups;
}

void OPCGroup::Initialise(std::string name, bool active, std::uint32_t requestedRate,
                          std::uint32_t clientHandle, std::int32_t timeBias, float deadband,
                          std::uint32_t lcid) {
    {
        std::lock_guard lock(nameLock_);
        name_ = std::move(name);
    }
    active_ = active;
    updateRate_ = std::max(requestedRate, kMinimumUpdateRate);
    clientGroupHandle_ = clientHandle;
    timeBias_ = timeBias;
    deadband_ = deadband;
    lcid_ = lcid;
}

void OPCGroup::StartUpdateThread() {
    if (updater_.IsStarted()) return;
    std::weak_ptr<OPCGroup> weak = weak_from_this();
    updater_.Start([weak] {
        auto self = weak.lock();
        // When this was the last reference, the group goes here and the thread ends.
        return self ? self->UpdateCycleStep() : UpdateStep::End();
    });
}

void OPCGroup::WakeUpdateThread() { updater_.Wake(); }

UpdateStep OPCGroup::UpdateCycleStep() {
    if (!running_) return UpdateStep::End();
    // Nothing to poll and nothing to send: sleep until items come or the group is activated.
    if (!active_ || (!services_.changelessUpdate && ItemCount() == 0)) return UpdateStep::Sleep();
    const std::uint32_t t0 = services_.clock->TickCount();
    RunUpdateCycle();
    return UpdateStep::WaitFor(UpdateWaitMs(updateRate_.load(), t0, services_.clock->TickCount()));
}

std::string OPCGroup::Name() const {
    std::lock_guard lock(nameLock_);
    return name_;
}

// ---- state management ----

HRESULT OPCGroup::GetState(std::uint32_t* updateRate, bool* active, std::string* name,
                           std::int32_t* timeBias, float* deadband, std::uint32_t* lcid,
                           std::uint32_t* hClientGroup, std::uint32_t* hServerGroup) const {
    if (updateRate) *updateRate = updateRate_;
    if (active) *active = active_;
    if (name) *name = Name();
    if (timeBias) *timeBias = timeBias_;
    if (deadband) *deadband = deadband_;
    if (lcid) *lcid = lcid_;
    if (hClientGroup) *hClientGroup = clientGroupHandle_;
    if (hServerGroup) *hServerGroup = serverHandle_;
    return Traced("IOPCGroupStateMgt::GetState", S_OK);
}

HRESULT OPCGroup::SetState(const std::uint32_t* requestedRate, std::uint32_t* revisedRate,
                           const bool* active, const std::int32_t* timeBias, const float* deadband,
                           const std::uint32_t* lcid, const std::uint32_t* hClientGroup) {
    if (requestedRate) updateRate_ = std::max(*requestedRate, kMinimumUpdateRate);
    if (revisedRate) *revisedRate = updateRate_;
    if (timeBias) timeBias_ = *timeBias;
    if (deadband) deadband_ = *deadband;
    if (lcid) lcid_ = *lcid;
    if (hClientGroup) clientGroupHandle_ = *hClientGroup;
    if (active && *active != active_.load()) {
        active_ = *active;
        if (*active) WakeUpdateThread();
    }
    return Traced("IOPCGroupStateMgt::SetState", S_OK);
}

HRESULT OPCGroup::SetName(const std::string* name) {
    if (name == nullptr) return Traced("IOPCGroupStateMgt::SetName", E_FAIL);
    if (*name == Name()) return Traced("IOPCGroupStateMgt::SetName", S_OK);
    auto owner = owner_.lock();
    if (!owner) return Traced("IOPCGroupStateMgt::SetName", E_FAIL);
    // The owner renames under its table lock so that two renames cannot take one name.
    if (!owner->RenameGroup(*this, *name)) return OPC_E_DUPLICATENAME;
    return Traced("IOPCGroupStateMgt::SetName", S_OK);
}

OModbusTag* OPCGroup::TagOf(std::uint32_t handle) const {
    std::lock_guard lock(itemLock_);
    const COPCItem* item = FindItem(handle);
    return item ? item->tag : nullptr;
}

void OPCGroup::SetNameUnchecked(std::string name) {
    std::lock_guard lock(nameLock_);
    name_ = std::move(name);
}

HRESULT OPCGroup::CloneGroup(const std::string* name, std::shared_ptr<OPCGroup>* clone) {
    if (clone == nullptr) return Traced("IOPCGroupStateMgt::CloneGroup", E_INVALIDARG);
    auto owner = owner_.lock();
    if (!owner) return Traced("IOPCGroupStateMgt::CloneGroup", E_FAIL);
    const std::int32_t bias = timeBias_;
    const float band = deadband_;
    std::uint32_t handle = 0;
    std::uint32_t revised = 0;
    const HRESULT hr = owner->AddGroup(name, false, updateRate_, clientGroupHandle_, &bias, &band,
                                       lcid_, clone, &handle, &revised);
    return Traced("IOPCGroupStateMgt::CloneGroup", hr);
}

HRESULT OPCGroup::GetPublicState(bool* isPublic) const {
    if (isPublic == nullptr) return Traced("IOPCPublicGroupStateMgt::GetState", E_INVALIDARG);
    *isPublic = false;
    return Traced("IOPCPublicGroupStateMgt::GetState", S_OK);
}

HRESULT OPCGroup::MoveToPublic() {
    return Traced("IOPCPublicGroupStateMgt::MoveToPublic", E_NOTIMPL);
}

// ---- items ----

COPCItem* OPCGroup::FindItem(std::uint32_t handle) const {
    auto it = items_.find(handle);
    return it == items_.end() ? nullptr : it->second.get();
}

HRESULT OPCGroup::LookUp(const OPCITEMDEF& def, OPCITEMRESULT& result, OModbusTag** tag,
                         ODevice** device) const {
    result = OPCITEMRESULT{};
    *tag = nullptr;
    *device = nullptr;
    std::lock_guard tree(TreeLock());
    OModbusTag* found = services_.findItem ? services_.findItem(def.itemID, device) : nullptr;
    if (found == nullptr || *device == nullptr) return OPC_E_UNKNOWNITEMID;
    *tag = found;
    result.canonicalDataType = CanonicalType(*found);
    result.accessRights = ItemAccessRights(*found);
    return S_OK;
}

OTopic& OPCGroup::TopicFor(ODevice& device) {
    for (auto& topic : topics_) {
        if (topic->device == &device) return *topic;
    }
    topics_.push_back(std::make_unique<OTopic>(device));
    return *topics_.back();
}

HRESULT OPCGroup::AddItems(const std::vector<OPCITEMDEF>& items,
                           std::vector<OPCITEMRESULT>& results, std::vector<HRESULT>& errors) {
    results.assign(items.size(), OPCITEMRESULT{});
    errors.assign(items.size(), S_OK);
    bool anyFailed = false;
    {
        std::lock_guard lock(itemLock_);
        for (std::size_t i = 0; i < items.size(); ++i) {
            OModbusTag* tag = nullptr;
            ODevice* device = nullptr;
            errors[i] = LookUp(items[i], results[i], &tag, &device);
            if (Failed(errors[i])) {
                anyFailed = true;
                continue;
            }
            // Past the client's bound an item fails as an allocation that failed.
            const bool allowed = !services_.items || services_.items->TryTake();
            std::unique_ptr<COPCItem> item(
                allowed ? new (std::nothrow) COPCItem(*tag, *device, items[i].active,
                                                      items[i].hClient, items[i].requestedDataType)
                        : nullptr);
            if (!item) {
                if (allowed && services_.items) services_.items->Give();
                errors[i] = E_OUTOFMEMORY;
                results[i] = OPCITEMRESULT{};
                anyFailed = true;
                continue;
            }
            TopicFor(*device).AddTag(tag);
            const std::uint32_t handle = nextItemHandle_++;
            items_.emplace(handle, std::move(item));
            results[i].hServer = handle;
        }
    }
    WakeUpdateThread();
    return Traced("IOPCItemMgt::AddItems", anyFailed ? S_FALSE : S_OK);
}

HRESULT OPCGroup::ValidateItems(const std::vector<OPCITEMDEF>& items, bool /*blobUpdate*/,
                                std::vector<OPCITEMRESULT>& results, std::vector<HRESULT>& errors) {
    results.assign(items.size(), OPCITEMRESULT{});
    errors.assign(items.size(), S_OK);
    bool anyFailed = false;
    for (std::size_t i = 0; i < items.size(); ++i) {
        OModbusTag* tag = nullptr;
        ODevice* device = nullptr;
        errors[i] = LookUp(items[i], results[i], &tag, &device);
        anyFailed |= Failed(errors[i]);
    }
    return Traced("IOPCItemMgt::ValidateItems", anyFailed ? S_FALSE : S_OK);
}

HRESULT OPCGroup::RemoveItems(const std::vector<std::uint32_t>& handles,
                              std::vector<HRESULT>& errors) {
    errors.assign(handles.size(), S_OK);
    bool anyFailed = false;
    {
        std::lock_guard lock(itemLock_);
        for (std::size_t i = 0; i < handles.size(); ++i) {
            auto it = items_.find(handles[i]);
            if (it == items_.end()) {
                errors[i] = OPC_E_INVALIDHANDLE;
                anyFailed = true;
                continue;
            }
            for (auto& topic : topics_) {
                if (topic->device == it->second->device) topic->RemoveFirst(it->second->tag);
            }
            items_.erase(it);
            if (services_.items) services_.items->Give();
        }
    }
    return Traced("IOPCItemMgt::RemoveItems", anyFailed ? S_FALSE : S_OK);
}

HRESULT OPCGroup::SetActiveState(const std::vector<std::uint32_t>& handles, bool active,
                                 std::vector<HRESULT>& errors) {
    errors.assign(handles.size(), S_OK);
    std::lock_guard lock(itemLock_);
    for (std::size_t i = 0; i < handles.size(); ++i) {
        if (COPCItem* item = FindItem(handles[i])) {
            item->active = active;
        } else {
            errors[i] = E_FAIL;
        }
    }
    return Traced("IOPCItemMgt::SetActiveState", S_OK);
}

HRESULT OPCGroup::SetClientHandles(const std::vector<std::uint32_t>& handles,
                                   const std::vector<std::uint32_t>& clientHandles,
                                   std::vector<HRESULT>& errors) {
    if (clientHandles.size() < handles.size()) {
        return Traced("IOPCItemMgt::SetClientHandles", E_INVALIDARG);
    }
    errors.assign(handles.size(), S_OK);
    std::lock_guard lock(itemLock_);
    for (std::size_t i = 0; i < handles.size(); ++i) {
        if (COPCItem* item = FindItem(handles[i])) {
            item->clientHandle = clientHandles[i];
        } else {
            errors[i] = E_FAIL;
        }
    }
    return Traced("IOPCItemMgt::SetClientHandles", S_OK);
}

HRESULT OPCGroup::SetDatatypes(const std::vector<std::uint32_t>& handles,
                               const std::vector<VarType>& types, std::vector<HRESULT>& errors) {
    if (types.size() < handles.size()) return Traced("IOPCItemMgt::SetDatatypes", E_INVALIDARG);
    errors.assign(handles.size(), S_OK);
    std::lock_guard lock(itemLock_);
    for (std::size_t i = 0; i < handles.size(); ++i) {
        if (COPCItem* item = FindItem(handles[i])) {
            item->requestedType = types[i] == VT_EMPTY ? CanonicalType(*item->tag) : types[i];
        } else {
            errors[i] = E_FAIL;
        }
    }
    return Traced("IOPCItemMgt::SetDatatypes", S_OK);
}

HRESULT OPCGroup::CreateEnumerator(std::unique_ptr<CEnumItemAttributes>* enumerator) {
    if (enumerator == nullptr) return Traced("IOPCItemMgt::CreateEnumerator", E_INVALIDARG);
    *enumerator = std::make_unique<CEnumItemAttributes>(shared_from_this());
    return Traced("IOPCItemMgt::CreateEnumerator", S_OK);
}

std::size_t OPCGroup::ItemCount() const {
    std::lock_guard lock(itemLock_);
    return items_.size();
}

std::vector<OPCITEMATTRIBUTES> OPCGroup::ItemAttributes(std::size_t index,
                                                        std::size_t count) const {
    std::vector<OPCITEMATTRIBUTES> out;
    std::lock_guard lock(itemLock_);
    auto it = items_.begin();
    for (std::size_t i = 0; i < index && it != items_.end(); ++i) ++it;
    for (; it != items_.end() && out.size() < count; ++it) {
        const COPCItem& item = *it->second;
        OPCITEMATTRIBUTES a;
        a.itemID = item.tag->name;
        a.active = item.active;
        a.hClient = item.clientHandle;
        a.hServer = it->first;
        a.accessRights = AttributeAccessRights(*item.tag);
        a.requestedDataType = item.requestedType;
        a.canonicalDataType = CanonicalType(*item.tag);
        if (const OAnalogData* analog = ActiveAnalogScaling(*item.tag)) {
            a.euType = OPC_ANALOG;
            a.euInfo =
                OpcValue::DoubleArray({analog->engineeringMinimum, analog->engineeringMaximum});
        }
        out.push_back(std::move(a));
    }
    return out;
}

// ---- synchronous I/O ----

OPCGroup::ItemTarget OPCGroup::TargetOf(std::uint32_t handle) const {
    ItemTarget target;
    target.handle = handle;
    const COPCItem* item = FindItem(handle);
    if (item == nullptr) return target;
    target.found = true;
    target.tag = item->tag;
    target.device = item->device;
    target.clientHandle = item->clientHandle;
    target.active = item->active;
    target.readable = IsReadable(*item->tag);
    return target;
}

HRESULT OPCGroup::Read(std::uint32_t source, const std::vector<std::uint32_t>& handles,
                       std::vector<OPCITEMSTATE>& states, std::vector<HRESULT>& errors) {
    states.assign(handles.size(), OPCITEMSTATE{});
    errors.assign(handles.size(), S_OK);
    std::vector<ItemTarget> targets;
    targets.reserve(handles.size());
    {
        std::lock_guard lock(itemLock_);
        for (std::uint32_t handle : handles) targets.push_back(TargetOf(handle));
    }
    // The devices answer without the item lock held, so that a silent controller delays
    // no other call on the group.
    if (source != OPC_DS_CACHE) {
        for (const ItemTarget& target : targets) {
            // A tag without read access is never asked from the device.
            if (target.found && target.readable) {
                services_.tagIO->ReadTags(*target.device, TagList{target.tag});
            }
        }
    }
    bool anyFailed = false;
    std::lock_guard data(TagDataLock());
    for (std::size_t i = 0; i < targets.size(); ++i) {
        const ItemTarget& target = targets[i];
        if (!target.found) {
            errors[i] = OPC_E_INVALIDHANDLE;
            anyFailed = true;
            continue;
        }
        OPCITEMSTATE& state = states[i];
        state.hClient = target.clientHandle;
        state.timestamp = target.tag->timestamp;
        state.value = ValueAsServed(*target.tag);
        const bool bothActive = active_ && target.active;
        state.quality =
            (source == OPC_DS_CACHE && !bothActive) ? kQualityOutOfService : target.tag->quality;
        if (!target.readable) {
            errors[i] = OPC_E_BADRIGHTS;
            anyFailed = true;
        }
    }
    return Traced("IOPCSyncIO::Read", anyFailed ? S_FALSE : S_OK);
}

HRESULT OPCGroup::Write(const std::vector<std::uint32_t>& handles,
                        const std::vector<Variant>& values, std::vector<HRESULT>& errors) {
    if (values.size() < handles.size()) return Traced("IOPCSyncIO::Write", E_INVALIDARG);
    errors.assign(handles.size(), S_OK);
    bool anyFailed = false;
    std::vector<ItemTarget> targets;
    targets.reserve(handles.size());
    {
        // Every handle is checked before anything is written, so that a bad handle fails
        // only its own item and the client knows which items were written.
        std::lock_guard lock(itemLock_);
        for (std::uint32_t handle : handles) targets.push_back(TargetOf(handle));
    }
    for (std::size_t i = 0; i < targets.size(); ++i) {
        if (!targets[i].found) {
            errors[i] = OPC_E_INVALIDHANDLE;
            anyFailed = true;
            continue;
        }
        // The scan engine takes TagDataLock itself and never holds it across the exchange.
        errors[i] = services_.tagIO->WriteTag(*targets[i].device, *targets[i].tag, values[i]);
        anyFailed |= Failed(errors[i]);
    }
    {
        std::lock_guard lock(itemLock_);
        for (std::size_t i = 0; i < targets.size(); ++i) {
            if (!targets[i].found || Failed(errors[i])) continue;
            if (COPCItem* item = FindItem(targets[i].handle)) item->changed = true;
        }
    }
    return Traced("IOPCSyncIO::Write", anyFailed ? S_FALSE : S_OK);
}

// ---- update cycle and senders ----

std::vector<OPCGroup::TopicRead> OPCGroup::TopicsToRead(bool mark) {
    std::vector<TopicRead> reads;
    reads.reserve(topics_.size());
    for (auto& topic : topics_) {
        if (mark && topic->reading->exchange(true)) continue;  // its earlier read still runs
        reads.push_back({topic->device, topic->tags, mark ? topic->reading : nullptr});
    }
    return reads;
}

namespace {

// Counts the reads of one cycle down; shared with the reads, which may outlive the cycle.
struct ReadsInHand {
    std::mutex lock;
    std::condition_variable ended;
    std::size_t left = 0;

    void OneEnded() {
        {
            std::lock_guard guard(lock);
            --left;
        }
        ended.notify_all();
    }
};

}  // namespace

void OPCGroup::ReadTopics(std::vector<TopicRead> reads, std::chrono::milliseconds wait) {
    ITagIO* io = services_.tagIO;
    if (services_.deviceReads == nullptr) {
        for (TopicRead& read : reads) {
            io->ReadTags(*read.device, read.tags);
            if (read.reading) read.reading->store(false);
        }
        return;
    }
    auto inHand = std::make_shared<ReadsInHand>();
    inHand->left = reads.size();
    for (TopicRead& read : reads) {
        auto reading = read.reading;
        ODevice* device = read.device;
        auto work = [io, device, tags = std::move(read.tags), reading, inHand] {
            io->ReadTags(*device, tags);
            if (reading) reading->store(false);
            inHand->OneEnded();
        };
        if (!services_.deviceReads->LaunchOn(*device, std::move(work))) {
            if (reading) reading->store(false);
            inHand->OneEnded();
        }
    }
    // A device that does not answer holds up the cycle at most one period; its items keep
    // what their tags hold, and the next cycles read the other devices at their rate.
    std::unique_lock guard(inHand->lock);
    inHand->ended.wait_for(guard, wait, [&] { return inHand->left == 0; });
}

void OPCGroup::RunUpdateCycle() {
    if (!active_) return;
    std::vector<TopicRead> reads;
    {
        std::lock_guard lock(itemLock_);
        reads = TopicsToRead(true);
    }
    ReadTopics(std::move(reads), std::chrono::milliseconds(updateRate_.load()));
    ItemLock lock(itemLock_);
    bool any = services_.changelessUpdate;
    {
        std::lock_guard data(TagDataLock());
        for (auto& [handle, item] : items_) {
            if (!item->active) continue;
            item->changed = services_.changelessUpdate;
            Variant served = ValueAsServed(*item->tag);
            if (!(served == item->cachedValue)) {
                item->cachedValue = std::move(served);
                item->changed = true;
                any = true;
            }
            if (item->tag->quality != item->cachedQuality) {
                item->cachedQuality = item->tag->quality;
                item->changed = true;
                any = true;
            }
        }
    }
    if (!any) return;
    sendPending_ = true;
    SendDataChange(lock);
    ownerLastUpdate_->store(services_.clock->NowUtc());
}

std::vector<COPCItem*> OPCGroup::TakeChangedItems() {
    std::vector<COPCItem*> changed;
    for (auto& [handle, item] : items_) {
        if (!item->changed) continue;
        item->changed = false;
        changed.push_back(item.get());
    }
    return changed;
}

ItemValueList OPCGroup::BuildItemValues(const std::vector<COPCItem*>& items) const {
    ItemValueList list;
    std::lock_guard data(TagDataLock());
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
    std::unique_lock advise(adviseLock_);
    if (adviseHolder_ && sendPending_) {
        for (const AdviseConnection& c : adviseConnections_) {
            if (c.format.cfFormat != kFormatData && c.format.cfFormat != kFormatDataTime) continue;
            sendPending_ = false;
            const AdviseConnection target = c;
            advise.unlock();
            SendStream(lock, target, target.format.cfFormat, 0, nullptr);
            return;
        }
    }
    advise.unlock();
    lock.unlock();
}

void OPCGroup::SendNotification(ItemLock& lock, std::uint32_t transactionID, bool readComplete) {
    const ItemValueList items = BuildItemValues(TakeChangedItems());
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
    std::lock_guard connections(connectionLock_);
    for (auto& [cookie, sink] : callbacks_) {
        if (readComplete) {
            sink->OnReadComplete(transactionID, hGroup, masterQuality, masterError, items);
        } else {
            sink->OnDataChange(transactionID, hGroup, masterQuality, masterError, items);
        }
    }
}

void OPCGroup::SendStream(ItemLock& lock, const AdviseConnection& connection, std::uint32_t format,
                          std::uint32_t transactionID, const ASyncRequest* writeRequest) {
    std::vector<std::uint8_t> stream;
    const std::uint32_t hGroup = clientGroupHandle_;
    if (writeRequest != nullptr) {
        std::vector<WriteCompleteItem> results;
        for (std::size_t i = 0; i < writeRequest->handles.size(); ++i) {
            const COPCItem* item = FindItem(writeRequest->handles[i]);
            results.push_back({item ? item->clientHandle : 0u, writeRequest->errors[i]});
        }
        stream = BuildWriteCompleteStream(hGroup, transactionID, results);
    } else {
        std::vector<StreamItem> entries;
        const std::vector<COPCItem*> changed = TakeChangedItems();
        std::lock_guard data(TagDataLock());
        for (const COPCItem* item : changed) {
            StreamItem e;
            e.hClient = item->clientHandle;
            e.quality = item->cachedQuality;
            e.timestamp = item->tag->timestamp;
            e.value =
                OpcValue::Of(ConvertForClient(item->cachedValue, item->requestedType, nullptr));
            entries.push_back(std::move(e));
        }
        stream = BuildDataStream(format == kFormatDataTime, hGroup, transactionID, entries);
    }
    lock.unlock();
    FORMATETC sent = connection.format;
    sent.cfFormat = format;
    connection.sink->OnDataChange(sent, stream);
}

// ---- asynchronous I/O ----

HRESULT OPCGroup::Submit(std::unique_ptr<ASyncRequest> request) {
    // A client may have only so many requests waiting; the rest fail at once.
    if (services_.requests && !services_.requests->TryTake()) return E_OUTOFMEMORY;
    ASyncRequest* submitted = request.get();
    {
        std::lock_guard lock(itemLock_);
        requests_.push_front(std::move(request));
        ++outstanding_;
    }
    std::weak_ptr<OPCGroup> weak = weak_from_this();
    const bool started = services_.launcher != nullptr && services_.launcher->Launch([weak] {
        if (auto self = weak.lock()) self->ServeOneRequest();
    });
    if (started) return S_OK;
    // A call that failed must not complete later: take its request back.
    {
        std::lock_guard lock(itemLock_);
        auto it = std::find_if(requests_.begin(), requests_.end(),
                               [submitted](const auto& r) { return r.get() == submitted; });
        if (it != requests_.end()) {
            requests_.erase(it);
            --outstanding_;
            if (services_.requests) services_.requests->Give();
        }
    }
    return E_FAIL;
}

void OPCGroup::ServeOneRequest() {
    ItemLock lock(itemLock_);
    if (requests_.empty()) return;
    std::unique_ptr<ASyncRequest> request = std::move(requests_.back());
    requests_.pop_back();
    if (HasCallback() && request->version2 && request->cancelled) {
        lock.unlock();
        const std::uint32_t hGroup = clientGroupHandle_;
        {
            std::lock_guard connections(connectionLock_);
            for (auto& [cookie, sink] : callbacks_) {
                sink->OnCancelComplete(request->transactionID, hGroup);
            }
        }
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
                const ItemTarget target = TargetOf(handle);
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
            std::lock_guard data(TagDataLock());
            for (const Planned& p : planned) {
                COPCItem* item = FindItem(p.target.handle);
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
            for (std::uint32_t handle : request.handles) targets.push_back(TargetOf(handle));
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
                if (COPCItem* item = FindItem(targets[i].handle)) item->changed = true;
            }
            break;
        }
        case RequestKind::Refresh: {
            if (!active_) break;
            std::vector<TopicRead> reads = TopicsToRead(false);
            lock.unlock();
            for (TopicRead& read : reads) services_.tagIO->ReadTags(*read.device, read.tags);
            lock.lock();
            std::lock_guard data(TagDataLock());
            for (auto& [handle, item] : items_) {
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
                const COPCItem* item = FindItem(request.handles[i]);
                clients.push_back(item ? item->clientHandle : 0u);
                if (request.errors[i] != S_OK) master = S_FALSE;
            }
            const std::uint32_t hGroup = clientGroupHandle_;
            lock.unlock();
            std::lock_guard connections(connectionLock_);
            for (auto& [cookie, sink] : callbacks_) {
                sink->OnWriteComplete(request.transactionID, hGroup, master, clients,
                                      request.errors);
            }
        }
        return;
    }
    std::unique_lock advise(adviseLock_);
    if (!adviseHolder_) return;
    for (const AdviseConnection& c : adviseConnections_) {
        if (c.number != request.connection) continue;
        const AdviseConnection target = c;
        advise.unlock();
        if (request.kind == RequestKind::Write) {
            SendStream(lock, target, kFormatWriteComplete, request.transactionID, &request);
        } else {
            const std::uint32_t format =
                target.format.cfFormat == kFormatData ? kFormatData : kFormatDataTime;
            SendStream(lock, target, format, request.transactionID, nullptr);
        }
        return;
    }
}

void OPCGroup::FinishRequest() {
    std::shared_ptr<OPCGroup> release;
    {
        std::lock_guard lock(itemLock_);
        --outstanding_;
        if (removed_ && outstanding_ == 0) release = std::move(pendingTableReference_);
    }
    if (services_.requests) services_.requests->Give();
    // The table's reference may be the last one; it goes after the lock is released.
}

void OPCGroup::MarkRemoved(std::shared_ptr<OPCGroup> tableReference) {
    std::shared_ptr<OPCGroup> release;
    {
        std::lock_guard lock(itemLock_);
        removed_ = true;
        if (outstanding_ > 0) {
            pendingTableReference_ = std::move(tableReference);
        } else {
            release = std::move(tableReference);
        }
    }
}

bool OPCGroup::IsRemoved() const {
    std::lock_guard lock(itemLock_);
    return removed_;
}

std::uint32_t OPCGroup::OutstandingRequests() const {
    std::lock_guard lock(itemLock_);
    return outstanding_;
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
        request->transactionID = nextTransactionID_++;
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
        request->transactionID = nextTransactionID_++;
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
        request->transactionID = nextTransactionID_++;
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
    for (auto& request : requests_) {
        if (request->version2 && request->cancelID == cancelID) {
            request->cancelled = true;
            return Traced("IOPCAsyncIO2::Cancel2", S_OK);
        }
    }
    return Traced("IOPCAsyncIO2::Cancel2", E_FAIL);
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

// ---- 1.0 data object ----

HRESULT OPCGroup::DAdvise(const FORMATETC* format, std::uint32_t /*flags*/, IAdviseSink10* sink,
                          std::uint32_t* connection) {
    if (format == nullptr || sink == nullptr || connection == nullptr) {
        return Traced("IDataObject::DAdvise", E_INVALIDARG);
    }
    if (format->aspect != DVASPECT_CONTENT || format->hasTargetDevice || format->index != -1 ||
        format->tymed != TYMED_HGLOBAL) {
        return Traced("IDataObject::DAdvise", E_FAIL);
    }
    {
        std::lock_guard advise(adviseLock_);
        adviseHolder_ = true;
        AdviseConnection c;
        c.number = nextAdviseConnection_++;
        c.format = *format;
        c.sink = sink;
        adviseConnections_.push_back(c);
        *connection = c.number;
    }
    // The initial refresh is queued after the advise lock was released.
    std::uint32_t transactionID = 0;
    QueueRefresh(*connection, OPC_DS_CACHE, &transactionID);
    return Traced("IDataObject::DAdvise", S_OK);
}

HRESULT OPCGroup::DUnadvise(std::uint32_t connection) {
    std::lock_guard advise(adviseLock_);
    HRESULT hr = OLE_E_NOCONNECTION;
    if (adviseHolder_) {
        auto it = std::find_if(adviseConnections_.begin(), adviseConnections_.end(),
                               [connection](const auto& c) { return c.number == connection; });
        if (it != adviseConnections_.end()) {
            adviseConnections_.erase(it);
            hr = S_OK;
        }
    }
    if (Failed(hr)) Traced("IDataObject::DUnadvise", hr);
    return hr;
}

HRESULT OPCGroup::EnumDAdvise(std::vector<AdviseConnection>* connections) const {
    if (connections == nullptr) return E_INVALIDARG;
    std::lock_guard advise(adviseLock_);
    if (!adviseHolder_) return OLE_E_NOCONNECTION;
    *connections = adviseConnections_;
    return S_OK;
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
    std::vector<StreamItem> entries;
    const std::vector<COPCItem*> changed = TakeChangedItems();
    std::lock_guard data(TagDataLock());
    for (const COPCItem* item : changed) {
        StreamItem e;
        e.hClient = item->clientHandle;
        e.quality = item->cachedQuality;
        e.timestamp = item->tag->timestamp;
        e.value = OpcValue::Of(ConvertForClient(item->cachedValue, item->requestedType, nullptr));
        entries.push_back(std::move(e));
    }
    *stream = BuildDataStream(format->cfFormat == kFormatDataTime, clientGroupHandle_, 0, entries);
    return S_OK;
}

HRESULT OPCGroup::GetDataHere() { return Traced("IDataObject::GetDataHere", E_NOTIMPL); }
HRESULT OPCGroup::GetCanonicalFormatEtc() {
    return Traced("IDataObject::GetCanonicalFormatEtc", E_NOTIMPL);
}
HRESULT OPCGroup::SetData() { return Traced("IDataObject::SetData", E_NOTIMPL); }
HRESULT OPCGroup::EnumFormatEtc() { return Traced("IDataObject::EnumFormatEtc", E_NOTIMPL); }

// ---- connection point ----

HRESULT OPCGroup::AdviseCallback(IClientSink* sink, std::uint32_t* cookie) {
    const char* method = "IConnectionPoint<IOPCDataCallback>::Advise";
    if (sink == nullptr || cookie == nullptr) return Traced(method, E_POINTER);
    IOPCDataCallbackSink* callback = sink->QueryDataCallback();
    if (callback == nullptr) return Traced(method, CONNECT_E_CANNOTCONNECT);
    std::lock_guard connections(connectionLock_);
    *cookie = nextCookie_++;
    callbacks_.emplace_back(*cookie, callback);
    ++callbackCount_;
    return Traced(method, S_OK);
}

HRESULT OPCGroup::UnadviseCallback(std::uint32_t cookie) {
    const char* method = "IConnectionPoint<IOPCDataCallback>::Unadvise";
    std::lock_guard connections(connectionLock_);
    auto it = std::find_if(callbacks_.begin(), callbacks_.end(),
                           [cookie](const auto& c) { return c.first == cookie; });
    if (it == callbacks_.end()) return Traced(method, CONNECT_E_NOCONNECTION);
    callbacks_.erase(it);
    --callbackCount_;
    return Traced(method, S_OK);
}

}  // namespace velk
