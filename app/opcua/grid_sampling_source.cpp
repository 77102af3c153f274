#include "app/opcua/grid_sampling_source.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "model/c_doc.h"
#include "model/o_analog_data.h"
#include "model/o_modbus_tag.h"
#include "model/o_tag_group.h"
#include "opc/tag_serving.h"
#include "opc/update_timing.h"
#include "opc/worker_launcher.h"
#include "opcua/space/plant_nodes.h"
#include "opcua/space/read_service.h"
#include "opcua/space/standard_node_ids.h"
#include "opcua/space/tag_value_mapping.h"
#include "opcua/status_codes.h"
#include "platform/clock.h"
#include "platform/timed_pass_pool.h"

namespace velk {

using ua::DataValue;
using ua::SamplingHandle;

namespace {

DataValue StatusOnly(ua::StatusCode status) {
    DataValue value;
    value.status = status;
    return value;
}

// What a client is told of: a changed value or status. The scan stamps every answer, so a
// time stamp alone is no change (as for the DA groups).
bool SameSample(const DataValue& a, const DataValue& b) {
    return a.value == b.value && a.status == b.status;
}

// The plant tag whose Value a spec samples, or null (TreeLock held).
const OModbusTag* SampledTag(const ua::PlantNodes& plant, const ua::SampleSpec& spec) {
    if (spec.attributeId != static_cast<std::uint32_t>(ua::AttributeId::kValue)) return nullptr;
    if (spec.nodeId.namespaceIndex != ua::kPlantNamespaceIndex) return nullptr;
    const auto* itemId = std::get_if<std::string>(&spec.nodeId.identifier);
    return itemId == nullptr ? nullptr : plant.FindTag(*itemId);
}

// An attribute that is not sampled, read once as the Read service gives it.
DataValue ReadOnce(const ua::IAddressSpace& space, const ua::SampleSpec& spec) {
    const std::optional<ua::Node> node = space.FindNode(spec.nodeId);
    if (!node) return StatusOnly(ua::kBadNodeIdUnknown);
    const auto attribute = static_cast<ua::AttributeId>(spec.attributeId);
    DataValue result;
    if (attribute == ua::AttributeId::kValue && node->value) {
        result.value = *node->value;
        return result;
    }
    ua::Variant value;
    const ua::StatusCode status = ua::ReadAttribute(*node, attribute, value);
    if (status != ua::kGood) return StatusOnly(status);
    result.value = std::move(value);
    return result;
}

}  // namespace

namespace grid_sampling {

struct Item {
    ua::ISampleSink* sink = nullptr;
    std::uint32_t rate = 0;
    std::string itemId;
    // The sampled tag, referenced (opcReferenceCount) while it is held; null when it is gone.
    OModbusTag* tag = nullptr;
    ODevice* device = nullptr;
    // A value delivered once (not sampled), until it has gone.
    std::optional<DataValue> once;
    std::optional<DataValue> last;
};

struct DeviceItems {
    std::vector<SamplingHandle> handles;
    TagList tags;
    bool tagsStale = true;
    // A read of this device is queued or running: the next cycle does not queue another.
    std::shared_ptr<std::atomic<bool>> reading = std::make_shared<std::atomic<bool>>(false);
};

struct RateCycle {
    std::uint32_t rate = 0;
    std::map<ODevice*, DeviceItems> devices;
    // Items that deliver without a read: a value read once, or BadNodeIdUnknown.
    std::vector<SamplingHandle> unread;
    UpdatePeriods periods;
    std::uint64_t resolvedGeneration = 0;
    std::unique_ptr<TimedPassPool::Registration> registration;
    // The first pass, an ordinary cycle, has run.
    bool started = false;
};

}  // namespace grid_sampling

using grid_sampling::DeviceItems;
using grid_sampling::Item;
using grid_sampling::RateCycle;

struct GridSamplingSource::State : std::enable_shared_from_this<GridSamplingSource::State> {
    explicit State(GridSamplingServices s) : services(s) {}

    GridSamplingServices services;
    std::mutex lock;  // everything below; held around the sink calls
    bool stopped = false;
    std::atomic<std::uint64_t> generation{0};
    SamplingHandle nextHandle = 1;
    std::unordered_map<SamplingHandle, Item> items;
    std::map<std::uint32_t, std::shared_ptr<RateCycle>> rates;

    using Batch = std::vector<std::pair<ua::ISampleSink*, std::vector<ua::Sample>>>;

    static void Add(Batch& batch, ua::ISampleSink* sink, SamplingHandle handle, DataValue value) {
        for (auto& [s, samples] : batch) {
            if (s == sink) {
                samples.push_back(ua::Sample{handle, std::move(value)});
                return;
            }
        }
        batch.push_back({sink, {}});
        batch.back().second.push_back(ua::Sample{handle, std::move(value)});
    }
    static void Send(Batch& batch) {
        for (auto& [sink, samples] : batch) sink->OnSamples(samples);
    }

    // Items and their tags (lock held): the tag's reference is taken under TagDataLock.
    void Hold(Item& item, OModbusTag* tag) {
        item.tag = tag;
        item.device = tag && tag->group ? tag->group->GetDevice() : nullptr;
        if (item.device == nullptr) item.tag = nullptr;
        if (item.tag == nullptr) return;
        std::lock_guard data(services.document.Locks().tagData);
        ++item.tag->opcReferenceCount;
    }
    // Lets go of the item's tag; live: the tags still in the tree (null: all held ones are).
    void Release(Item& item, const std::unordered_set<const OModbusTag*>* live) {
        if (item.tag != nullptr && (live == nullptr || live->contains(item.tag))) {
            std::lock_guard data(services.document.Locks().tagData);
            --item.tag->opcReferenceCount;
        }
        item.tag = nullptr;
        item.device = nullptr;
    }
    std::unordered_set<const OModbusTag*> LiveTags() const {
        const auto& all = services.document.documentTagList;
        return {all.begin(), all.end()};
    }

    void Place(RateCycle& cycle, SamplingHandle handle, const Item& item) {
        if (item.tag == nullptr) {
            cycle.unread.push_back(handle);
            return;
        }
        DeviceItems& entry = cycle.devices[item.device];
        entry.handles.push_back(handle);
        entry.tagsStale = true;
    }

    // The rate's items find their tags again (TreeLock and the lock held).
    void Resolve(RateCycle& cycle) {
        cycle.resolvedGeneration = generation.load();
        const auto live = LiveTags();
        std::vector<SamplingHandle> handles = std::move(cycle.unread);
        cycle.unread.clear();
        for (auto& [device, entry] : cycle.devices)
            handles.insert(handles.end(), entry.handles.begin(), entry.handles.end());
        cycle.devices.clear();
        for (SamplingHandle handle : handles) {
            Item& item = items.at(handle);
            if (!item.once) {
                OModbusTag* found = const_cast<OModbusTag*>(services.plant.FindTag(item.itemId));
                if (found != item.tag || (found && found->group->GetDevice() != item.device)) {
                    Release(item, &live);
                    Hold(item, found);
                }
            }
            Place(cycle, handle, item);
        }
    }

    // The devices' tag lists in location order, each tag once (lock held).
    static void RefreshTags(RateCycle& cycle,
                            const std::unordered_map<SamplingHandle, Item>& items) {
        for (auto& [device, entry] : cycle.devices) {
            if (!entry.tagsStale) continue;
            entry.tagsStale = false;
            entry.tags.clear();
            std::unordered_set<const OModbusTag*> seen;
            for (SamplingHandle handle : entry.handles) {
                OModbusTag* tag = items.at(handle).tag;
                if (seen.insert(tag).second) InsertSorted(tag, entry.tags);
            }
        }
    }

    // The items that deliver without a read: their first value, or the end of their tag.
    void DeliverUnread(RateCycle& cycle) {
        Batch batch;
        for (SamplingHandle handle : cycle.unread) {
            Item& item = items.at(handle);
            DataValue value = item.once ? *item.once : StatusOnly(ua::kBadNodeIdUnknown);
            if (item.last && SameSample(*item.last, value)) continue;
            item.last = value;
            Add(batch, item.sink, handle, std::move(value));
        }
        Send(batch);
    }

    // After a read of the device: the changed values of its items at the rate.
    void DeliverDevice(const std::weak_ptr<RateCycle>& weak, ODevice* device) {
        std::lock_guard guard(lock);
        auto cycle = weak.lock();
        if (stopped || !cycle) return;
        auto it = cycle->devices.find(device);
        if (it == cycle->devices.end()) return;
        Batch batch;
        {
            std::lock_guard data(services.document.Locks().tagData);
            for (SamplingHandle handle : it->second.handles) {
                Item& item = items.at(handle);
                DataValue value = ua::TagDataValue(*item.tag);
                if (item.last && SameSample(*item.last, value)) continue;
                item.last = value;
                Add(batch, item.sink, handle, std::move(value));
            }
        }
        Send(batch);
    }

    // Queues a read of each device; only those with items not delivered yet when fresh.
    void LaunchReads(const std::shared_ptr<RateCycle>& held, std::uint32_t periodStart,
                     bool freshOnly) {
        RateCycle& cycle = *held;
        RefreshTags(cycle, items);
        const std::weak_ptr<RateCycle> weak = held;
        for (auto& [device, entry] : cycle.devices) {
            if (entry.tags.empty() || entry.reading->load()) continue;
            if (freshOnly && std::all_of(entry.handles.begin(), entry.handles.end(),
                                         [&](SamplingHandle h) { return items.at(h).last; }))
                continue;
            entry.reading->store(true);
            auto reading = entry.reading;
            auto self = shared_from_this();
            ITagIO* io = &services.tagIO;
            ODevice* target = device;
            auto work = [self, weak, io, target, tags = entry.tags, periodStart, reading] {
                io->ReadTagsInPeriod(*target, tags, periodStart);
                self->DeliverDevice(weak, target);
                reading->store(false);
            };
            if (!services.deviceReads.LaunchOn(*device, std::move(work))) reading->store(false);
        }
    }

    std::chrono::milliseconds Pass(const std::weak_ptr<RateCycle>& weak, bool woken) {
        std::unique_lock<std::recursive_mutex> tree(services.document.Locks().tree,
                                                    std::defer_lock);
        {
            std::lock_guard guard(lock);
            auto cycle = weak.lock();
            if (stopped || !cycle) return TimedPassPool::kUntilWoken;
            if (cycle->resolvedGeneration == generation.load()) {
                return PassLocked(cycle, woken);
            }
        }
        tree.lock();
        std::lock_guard guard(lock);
        auto cycle = weak.lock();
        if (stopped || !cycle) return TimedPassPool::kUntilWoken;
        if (cycle->resolvedGeneration != generation.load()) Resolve(*cycle);
        tree.unlock();
        return PassLocked(cycle, woken);
    }

    std::chrono::milliseconds PassLocked(const std::shared_ptr<RateCycle>& held, bool woken) {
        RateCycle& cycle = *held;
        const std::uint32_t rate = cycle.rate;
        const std::uint32_t t0 = services.clock.TickCount();
        DeliverUnread(cycle);
        if (woken && cycle.started) {
            // Items were added: their first values come from a read within the current grid
            // period (sharing what was read in it), and the grid's wait goes on.
            LaunchReads(held, t0 - t0 % rate, true);
            return TimedPassPool::kResume;
        }
        cycle.started = true;
        LaunchReads(held, cycle.periods.Begin(rate, t0), false);
        const std::uint32_t now = services.clock.TickCount();
        return std::chrono::milliseconds(cycle.periods.WaitAfter(rate, t0, now));
    }
};

GridSamplingSource::GridSamplingSource(GridSamplingServices services)
    : state_(std::make_shared<State>(services)) {}

GridSamplingSource::~GridSamplingSource() { Stop(); }

ua::SampledNodeInfo GridSamplingSource::Describe(const ua::NodeId& node,
                                                 std::uint32_t attributeId) const {
    ua::SampledNodeInfo info;
    const auto& services = state_->services;
    const std::optional<ua::Node> found = services.space.FindNode(node);
    if (!found) {
        info.status = ua::kBadNodeIdUnknown;
        return info;
    }
    ua::Variant probe;
    const auto attribute = static_cast<ua::AttributeId>(attributeId);
    const bool valueOfVariable =
        attribute == ua::AttributeId::kValue && found->nodeClass == ua::NodeClass::kVariable;
    if (!valueOfVariable && ua::ReadAttribute(*found, attribute, probe) != ua::kGood) {
        info.status = ua::kBadAttributeIdInvalid;
        return info;
    }
    info.status = ua::kGood;
    if (!valueOfVariable || !found->dataType) return info;
    const ua::NodeId& type = *found->dataType;
    const auto* id = std::get_if<std::uint32_t>(&type.identifier);
    info.numeric = type.namespaceIndex == 0 && id != nullptr && *id >= ua::ids::kSByte &&
                   *id <= ua::ids::kDouble;
    if (found->valueOrigin != ua::ValueOrigin::kTag) return info;
    std::lock_guard tree(services.document.Locks().tree);
    const OModbusTag* tag = SampledTag(services.plant, {node, attributeId, 0});
    if (tag == nullptr) return info;
    if (const OAnalogData* analog = ActiveAnalogScaling(*tag))
        info.euRange = ua::EuRange{analog->engineeringMinimum, analog->engineeringMaximum};
    return info;
}

double GridSamplingSource::ReviseSamplingInterval(double requestedMs) const {
    for (std::uint32_t rate : kRatesMs)
        if (rate >= requestedMs) return rate;
    return kRatesMs.back();
}

std::vector<SamplingHandle> GridSamplingSource::StartSampling(
    const std::vector<ua::SampleSpec>& specs, ua::ISampleSink& sink) {
    State& s = *state_;
    // The values read once are read before the locks: the address space takes TreeLock itself.
    std::vector<std::optional<DataValue>> once(specs.size());
    for (std::size_t i = 0; i < specs.size(); ++i) {
        const bool tagValue =
            specs[i].attributeId == static_cast<std::uint32_t>(ua::AttributeId::kValue) &&
            specs[i].nodeId.namespaceIndex == ua::kPlantNamespaceIndex &&
            std::holds_alternative<std::string>(specs[i].nodeId.identifier);
        if (!tagValue) once[i] = ReadOnce(s.services.space, specs[i]);
    }
    std::vector<SamplingHandle> handles;
    handles.reserve(specs.size());
    std::vector<std::shared_ptr<RateCycle>> woken;
    std::vector<std::shared_ptr<RateCycle>> made;
    {
        std::lock_guard tree(s.services.document.Locks().tree);
        std::lock_guard guard(s.lock);
        for (std::size_t i = 0; i < specs.size(); ++i) {
            const SamplingHandle handle = s.nextHandle++;
            handles.push_back(handle);
            Item item;
            item.sink = &sink;
            item.rate = static_cast<std::uint32_t>(ReviseSamplingInterval(specs[i].intervalMs));
            item.once = std::move(once[i]);
            if (!item.once) {
                item.itemId = std::get<std::string>(specs[i].nodeId.identifier);
                OModbusTag* tag = const_cast<OModbusTag*>(SampledTag(s.services.plant, specs[i]));
                if (tag == nullptr) {
                    item.once = StatusOnly(ua::kBadNodeIdUnknown);
                } else {
                    s.Hold(item, tag);
                }
            }
            if (s.stopped) {
                s.Release(item, nullptr);
                continue;
            }
            auto& cycle = s.rates[item.rate];
            if (!cycle) {
                cycle = std::make_shared<RateCycle>();
                cycle->rate = item.rate;
                cycle->resolvedGeneration = s.generation.load();
                made.push_back(cycle);
            } else if (std::find(woken.begin(), woken.end(), cycle) == woken.end()) {
                woken.push_back(cycle);
            }
            s.Place(*cycle, handle, item);
            s.items.emplace(handle, std::move(item));
        }
        for (const auto& cycle : made) {
            std::weak_ptr<State> weakState = state_;
            std::weak_ptr<RateCycle> weakCycle = cycle;
            // Asleep until it is in place: the pass looks for its cycle's registration.
            cycle->registration = s.services.updates.RegisterWakeable(
                [weakState, weakCycle](bool w) {
                    auto state = weakState.lock();
                    return state ? state->Pass(weakCycle, w) : TimedPassPool::kUntilWoken;
                },
                true);
        }
    }
    // A new rate's first pass is an ordinary cycle; an existing one is woken for the new
    // items' first values.
    for (const auto& cycle : made)
        if (cycle->registration) cycle->registration->Wake();
    for (const auto& cycle : woken)
        if (cycle->registration) cycle->registration->Wake();
    return handles;
}

void GridSamplingSource::StopSampling(const std::vector<SamplingHandle>& handles) {
    State& s = *state_;
    std::vector<std::unique_ptr<TimedPassPool::Registration>> ended;
    {
        std::lock_guard tree(s.services.document.Locks().tree);
        std::lock_guard guard(s.lock);
        std::optional<std::unordered_set<const OModbusTag*>> live;
        std::map<std::uint32_t, std::unordered_set<SamplingHandle>> byRate;
        for (SamplingHandle handle : handles) {
            auto it = s.items.find(handle);
            if (it == s.items.end()) continue;
            byRate[it->second.rate].insert(handle);
        }
        for (auto& [rate, gone] : byRate) {
            auto cycleIt = s.rates.find(rate);
            RateCycle& cycle = *cycleIt->second;
            const bool resolved = cycle.resolvedGeneration == s.generation.load();
            if (!resolved && !live) live = s.LiveTags();
            auto isGone = [&](SamplingHandle h) { return gone.contains(h); };
            std::erase_if(cycle.unread, isGone);
            for (auto d = cycle.devices.begin(); d != cycle.devices.end();) {
                const std::size_t before = d->second.handles.size();
                std::erase_if(d->second.handles, isGone);
                if (d->second.handles.size() != before) d->second.tagsStale = true;
                d = d->second.handles.empty() ? cycle.devices.erase(d) : std::next(d);
            }
            for (SamplingHandle handle : gone) {
                s.Release(s.items.at(handle), resolved ? nullptr : &*live);
                s.items.erase(handle);
            }
            if (cycle.devices.empty() && cycle.unread.empty()) {
                ended.push_back(std::move(cycle.registration));
                s.rates.erase(cycleIt);
            }
        }
    }
    // Their passes end outside the locks, which a pass takes.
    ended.clear();
}

void GridSamplingSource::OnConfigurationChanged() { ++state_->generation; }

void GridSamplingSource::Stop() {
    State& s = *state_;
    std::vector<std::unique_ptr<TimedPassPool::Registration>> ended;
    {
        std::lock_guard tree(s.services.document.Locks().tree);
        std::lock_guard guard(s.lock);
        if (s.stopped) return;
        s.stopped = true;
        bool allResolved = true;
        for (auto& [rate, cycle] : s.rates) {
            allResolved &= cycle->resolvedGeneration == s.generation.load();
            ended.push_back(std::move(cycle->registration));
        }
        const auto live = allResolved ? std::unordered_set<const OModbusTag*>{} : s.LiveTags();
        for (auto& [handle, item] : s.items) s.Release(item, allResolved ? nullptr : &live);
        s.items.clear();
        s.rates.clear();
    }
    ended.clear();
}

}  // namespace velk
