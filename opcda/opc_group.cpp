#include "opcda/opc_group.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "core/cycle_statistics.h"
#include "core/trace_file.h"
#include "model/locks.h"
#include "model/o_analog_data.h"
#include "model/o_device.h"
#include "model/o_modbus_tag.h"
#include "opc/opc_call_trace.h"
#include "opc/opc_result.h"
#include "opc/tag_io.h"
#include "opc/update_timing.h"
#include "opcda/c_enum_item_attributes.h"
#include "opcda/item_rules.h"
#include "opcda/opc_server.h"
#include "platform/clock.h"
#include "platform/worker_thread.h"

namespace velk {

namespace {

constexpr int kUpdatePassWaitMs = 5000;

std::atomic<std::size_t> liveGroups{0};
// With liveChanged: the wait for the last group to go. Never destroyed: a group may go on a
// thread that was left to end on its own, after the process has begun to exit.
std::mutex& liveLock = *new std::mutex;
std::condition_variable& liveChanged = *new std::condition_variable;

}  // namespace

using opc_calls::Traced;

OPCGroup::OPCGroup(GroupServices services, std::weak_ptr<OPCServer> owner,
                   std::shared_ptr<std::atomic<FileTime>> ownerLastUpdate,
                   std::uint32_t serverHandle)
    : services_(std::move(services)),
      owner_(std::move(owner)),
      ownerLastUpdate_(std::move(ownerLastUpdate)),
      serverHandle_(serverHandle) {}

OPCGroup::LiveMark::LiveMark() { ++liveGroups; }

OPCGroup::LiveMark::~LiveMark() {
    {
        std::lock_guard lock(liveLock);
        --liveGroups;
    }
    liveChanged.notify_all();
}

std::size_t OPCGroup::LiveGroups() { return liveGroups.load(); }

bool OPCGroup::WaitUntilNoneLive(std::chrono::milliseconds timeout) {
    std::unique_lock lock(liveLock);
    return liveChanged.wait_for(lock, timeout, [] { return liveGroups.load() == 0; });
}

OPCGroup::~OPCGroup() {
    running_ = false;
    // A pass holds the group while it runs, so none runs now (or this is that pass): the
    // wait is short, and bounded whatever happens.
    if (updates_ && !updates_->Cancel(std::chrono::milliseconds(kUpdatePassWaitMs))) {
        Trace("OPC DA group update cycle still running after 5000 ms; left to end on its own");
        static_cast<void>(updates_.release());  // the pool keeps what the pass needs
    }
    updates_.reset();
    cycle_.reset();
    table_.ClearTopics();
    {
        std::lock_guard lock(itemLock_);
        requests_.DropWaiting();
    }
    callbacks_.Clear();
    advises_.Clear();
    {
        std::lock_guard lock(itemLock_);
        if (services_.items) services_.items->Give(static_cast<std::uint32_t>(table_.Size()));
        table_.ClearItems();
    }
    Trace("OPC DA group object destroyed");
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

bool OPCGroup::StartUpdates() {
    if (updates_) return true;
    if (services_.updates == nullptr) return false;
    std::weak_ptr<OPCGroup> weak = weak_from_this();
    // Asleep until the wake below: a pass uses updates_, which must be in place first.
    updates_ = services_.updates->RegisterWakeable(
        [weak](bool woken) {
            auto self = weak.lock();
            // When this was the last reference, the group goes here, at the end of the pass.
            return self ? self->UpdatePass(woken) : TimedPassPool::kUntilWoken;
        },
        true);
    if (!updates_) return false;
    WakeUpdates();  // the first cycle at once
    return true;
}

void OPCGroup::WakeUpdates() {
    woken_ = true;
    if (updates_) updates_->Wake();
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
        if (*active) WakeUpdates();
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
    const COPCItem* item = table_.Find(handle);
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

HRESULT OPCGroup::LookUp(const OPCITEMDEF& def, OPCITEMRESULT& result, OModbusTag** tag,
                         ODevice** device) const {
    result = OPCITEMRESULT{};
    *tag = nullptr;
    *device = nullptr;
    std::lock_guard tree(services_.locks->tree);
    OModbusTag* found = services_.findItem ? services_.findItem(def.itemID, device) : nullptr;
    if (found == nullptr || *device == nullptr) return OPC_E_UNKNOWNITEMID;
    *tag = found;
    std::lock_guard data(services_.locks->tagData);  // the tag sheet changes type and scaling
    result.canonicalDataType = CanonicalType(*found);
    result.accessRights = ItemAccessRights(*found);
    return S_OK;
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
            results[i].hServer = table_.Add(std::move(item));
        }
    }
    WakeUpdates();
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
            if (!table_.Remove(handles[i])) {
                errors[i] = OPC_E_INVALIDHANDLE;
                anyFailed = true;
                continue;
            }
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
        if (COPCItem* item = table_.Find(handles[i])) {
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
        if (COPCItem* item = table_.Find(handles[i])) {
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
        if (COPCItem* item = table_.Find(handles[i])) {
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
    return table_.Size();
}

std::vector<OPCITEMATTRIBUTES> OPCGroup::ItemAttributes(std::size_t index,
                                                        std::size_t count) const {
    std::vector<OPCITEMATTRIBUTES> out;
    std::lock_guard lock(itemLock_);
    // The tags' names, types and scaling objects as the tag sheet leaves them.
    std::lock_guard data(services_.locks->tagData);
    const GroupItemTable::Items& items = table_.All();
    auto it = items.begin();
    for (std::size_t i = 0; i < index && it != items.end(); ++i) ++it;
    for (; it != items.end() && out.size() < count; ++it) {
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

HRESULT OPCGroup::Read(std::uint32_t source, const std::vector<std::uint32_t>& handles,
                       std::vector<OPCITEMSTATE>& states, std::vector<HRESULT>& errors) {
    states.assign(handles.size(), OPCITEMSTATE{});
    errors.assign(handles.size(), S_OK);
    std::vector<ItemTarget> targets;
    targets.reserve(handles.size());
    {
        std::lock_guard lock(itemLock_);
        for (std::uint32_t handle : handles) targets.push_back(table_.TargetOf(handle));
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
    std::lock_guard data(services_.locks->tagData);
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
        for (std::uint32_t handle : handles) targets.push_back(table_.TargetOf(handle));
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
            if (COPCItem* item = table_.Find(targets[i].handle)) item->changed = true;
        }
    }
    return Traced("IOPCSyncIO::Write", anyFailed ? S_FALSE : S_OK);
}

// ---- update cycle ----

// Counts the reads of one cycle down; shared with the reads, which may outlive the cycle.
// The last read to end wakes the update pass (a read that ends after its cycle gave up
// waiting wakes it for nothing, and the pass waits on).
struct OPCGroup::CycleReads {
    std::mutex lock;
    std::condition_variable ended;
    std::size_t left = 0;
    TimedPassPool::Waker waker;

    void OneEnded() {
        bool last;
        {
            std::lock_guard guard(lock);
            last = --left == 0;
        }
        ended.notify_all();
        if (last) waker.Wake();
    }
    bool Ended() {
        std::lock_guard guard(lock);
        return left == 0;
    }
};

// The cycle between its start and its end: when it began, on which period, and its reads.
struct OPCGroup::CycleInHand {
    std::uint32_t t0 = 0;
    std::uint32_t rate = 0;
    std::uint32_t periodStart = 0;
    std::shared_ptr<CycleReads> reads;
    std::unique_ptr<CyclePhaseTimer> timer;
    std::unique_ptr<CyclePhaseTimer> readsTimer;
};

std::shared_ptr<OPCGroup::CycleReads> OPCGroup::LaunchReads(
    std::vector<TopicRead> reads, std::uint32_t rate, std::optional<std::uint32_t> periodStartTick,
    TimedPassPool::Waker waker) {
    auto inHand = std::make_shared<CycleReads>();
    ITagIO* io = services_.tagIO;
    // Without a period, the cycle reads as a device read: it takes no answer of a request
    // issued before its call.
    auto readTopic = [io, periodStartTick](ODevice& device, const TagList& tags) {
        if (periodStartTick) {
            io->ReadTagsInPeriod(device, tags, *periodStartTick);
        } else {
            io->ReadTags(device, tags);
        }
    };
    if (services_.deviceReads == nullptr) {
        for (TopicRead& read : reads) {
            readTopic(*read.device, read.tags);
            if (read.reading) read.reading->store(false);
        }
        return inHand;
    }
    inHand->left = reads.size();
    inHand->waker = std::move(waker);
    for (TopicRead& read : reads) {
        auto reading = read.reading;
        ODevice* device = read.device;
        auto queued = std::make_shared<CyclePhaseTimer>(rate, CycleStatistics::Phase::DeviceQueued);
        auto work = [readTopic, device, tags = std::move(read.tags), reading, inHand, queued,
                     rate] {
            queued->Stop();
            CyclePhaseTimer running(rate, CycleStatistics::Phase::DeviceRead);
            readTopic(*device, tags);
            running.Stop();
            if (reading) reading->store(false);
            inHand->OneEnded();
        };
        if (!services_.deviceReads->LaunchOn(*device, std::move(work))) {
            if (reading) reading->store(false);
            inHand->OneEnded();
        }
    }
    return inHand;
}

void OPCGroup::RunUpdateCycle(std::optional<std::uint32_t> periodStartTick) {
    if (!active_) return;
    std::vector<TopicRead> reads;
    {
        std::lock_guard lock(itemLock_);
        reads = table_.TopicsToRead(true);
    }
    const std::uint32_t rate = updateRate_.load();
    {
        CyclePhaseTimer allReads(rate, CycleStatistics::Phase::Reads);
        std::shared_ptr<CycleReads> inHand =
            LaunchReads(std::move(reads), rate, periodStartTick, {});
        // A device that does not answer holds up the cycle at most one period.
        std::unique_lock guard(inHand->lock);
        inHand->ended.wait_for(guard, std::chrono::milliseconds(rate),
                               [&] { return inHand->left == 0; });
    }
    CompareAndSend(rate);
}

std::chrono::milliseconds OPCGroup::UpdatePass(bool woken) {
    if (!running_) return TimedPassPool::kUntilWoken;
    if (cycle_) {
        // A wake while the reads run (items added, say) leaves them their time; it ends the
        // wait after this cycle instead.
        if (woken && !cycle_->reads->Ended()) return TimedPassPool::kResume;
        // The reads have ended, or have had their period: a device that does not answer
        // holds up the cycle at most that long; its items keep what their tags hold, and the
        // next cycles read the other devices at their rate.
        return FinishCycle();
    }
    // Woken by the late end of a read whose cycle stopped waiting for it: the wait goes on.
    if (woken && !woken_.load()) return TimedPassPool::kResume;
    woken_ = false;  // the wake event is auto-reset: the wait it ended takes it
    // Nothing to poll and nothing to send: sleep until items come or the group is activated.
    if (!active_ || (!services_.changelessUpdate && ItemCount() == 0))
        return TimedPassPool::kUntilWoken;
    auto cycle = std::make_unique<CycleInHand>();
    cycle->t0 = services_.clock->TickCount();
    cycle->rate = updateRate_.load();
    cycle->periodStart = periods_.Begin(cycle->rate, cycle->t0);
    cycle->timer = std::make_unique<CyclePhaseTimer>(cycle->rate, CycleStatistics::Phase::Cycle);
    cycle->readsTimer =
        std::make_unique<CyclePhaseTimer>(cycle->rate, CycleStatistics::Phase::Reads);
    std::vector<TopicRead> reads;
    {
        std::lock_guard lock(itemLock_);
        reads = table_.TopicsToRead(true);
    }
    cycle->reads = LaunchReads(std::move(reads), cycle->rate, cycle->periodStart,
                               updates_ ? updates_->MakeWaker() : TimedPassPool::Waker{});
    const std::uint32_t rate = cycle->rate;
    const bool ended = cycle->reads->Ended();
    cycle_ = std::move(cycle);
    if (ended) return FinishCycle();
    return std::chrono::milliseconds(rate);
}

std::chrono::milliseconds OPCGroup::FinishCycle() {
    std::unique_ptr<CycleInHand> cycle = std::move(cycle_);
    const std::uint32_t rate = cycle->rate;
    cycle->readsTimer->Stop();
    CompareAndSend(rate);
    cycle->timer->Stop();
    const std::uint32_t t0 = cycle->t0;
    const std::uint32_t now = services_.clock->TickCount();
    if (CycleStatistics* statistics = CycleStatistics::Active()) {
        using Phase = CycleStatistics::Phase;
        const std::uint32_t periodStart = cycle->periodStart;
        statistics->Record(rate, Phase::StartLate, std::chrono::milliseconds(t0 - periodStart));
        const auto over = static_cast<std::int32_t>(now - (periodStart + rate));
        if (over > 0) statistics->Record(rate, Phase::Overrun, std::chrono::milliseconds(over));
        statistics->WriteIfDue();
    }
    const std::uint32_t wait = periods_.WaitAfter(rate, t0, now);
    // A wake that came during the cycle ends the wait after it at once.
    return std::chrono::milliseconds(woken_.load() ? 0 : wait);
}

void OPCGroup::CompareAndSend(std::uint32_t rate) {
    using Phase = CycleStatistics::Phase;
    CyclePhaseTimer itemLockWait(rate, Phase::ItemLockWait);
    ItemLock lock(itemLock_);
    itemLockWait.Stop();
    bool any = services_.changelessUpdate;
    {
        CyclePhaseTimer tagDataWait(rate, Phase::TagDataWait);
        std::lock_guard data(services_.locks->tagData);
        tagDataWait.Stop();
        CyclePhaseTimer tagDataHeld(rate, Phase::TagDataHeld);
        for (auto& [handle, item] : table_.All()) {
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
    CyclePhaseTimer send(rate, Phase::Send);
    SendDataChange(lock);
    send.Stop();
    ownerLastUpdate_->store(services_.clock->NowUtc());
}

}  // namespace velk
