#include "exchange/import_session.h"

#include <algorithm>

#include "model/c_doc.h"
#include "model/document_observer.h"
#include "model/document_ui.h"
#include "platform/text.h"

namespace velk {
namespace {

bool BeforeInScan(const OModbusTag* a, const OModbusTag* b) {
    return a->locationKind < b->locationKind ||
           (a->locationKind == b->locationKind && a->address < b->address);
}

bool NameBefore(const std::unique_ptr<OModbusTag>& a, const std::unique_ptr<OModbusTag>& b) {
    return CompareNoCase(a->name, b->name) < 0;
}

bool BelongsToEvents(const OModbusTag& tag) { return tag.IsEventSignal(); }
bool BelongsToAlarms(const OModbusTag& tag) { return tag.HasEnabledAlarm(); }

}  // namespace

ImportSession::ImportSession(CDoc& document, const ExchangeServices& services, ImportMode mode)
    : document_(document), services_(services), mode_(mode) {
    // The monitor thread is joined before the locks are taken: it may be waiting for them.
    if (document_.monitorRunning.load()) {
        document_.StopMonitor();
        restartMonitor_ = true;
    }
    // TreeLock before TagDataLock, the order every other thread keeps.
    tree_ = std::unique_lock<std::recursive_mutex>(document_.Locks().tree);
    data_ = std::unique_lock<std::recursive_mutex>(document_.Locks().tagData);
    document_.batchFlag = true;
    document_.selection = nullptr;
}

ImportSession::~ImportSession() { Finish(0, false); }

OTagGroup* ImportSession::CurrentNode() const { return document_.selection; }

void ImportSession::SetCurrentNode(OTagGroup* node) { document_.selection = node; }

FileTime ImportSession::Now() const { return services_.clock ? services_.clock->NowUtc() : 0; }

const std::string& ImportSession::Delimiter() const { return document_.Settings().areaDelimiter; }

ODevice* ImportSession::CreateDevice(const std::string& name) {
    auto device = std::make_unique<ODevice>(Now());
    document_.AdoptDevice(*device);
    device->name = name;
    device->BindPorts(document_.Ports());
    device->parent = &document_.rootGroup;
    ODevice* added = device.get();
    std::unique_ptr<OTagGroup> entry = std::move(device);
    if (!document_.rootGroup.InsertSubgroupByName(entry)) return nullptr;
    document_.SetModified();
    return added;
}

void ImportSession::EmptyDevice(ODevice& device) {
    // New tags of this import that wait in a group of the device are listed first, so
    // that they go with the rest.
    std::vector<const OTagGroup*> groups;
    std::vector<OTagGroup*> walk{&device};
    while (!walk.empty()) {
        OTagGroup* group = walk.back();
        walk.pop_back();
        groups.push_back(group);
        if (auto it = groups_.find(group); it != groups_.end()) FlushGroup(*group, it->second);
        for (auto& sub : group->subgroupList) walk.push_back(sub.get());
    }
    std::unordered_set<const OModbusTag*> doomed;
    device.ForEachTag([&doomed](const OModbusTag* tag) { doomed.insert(tag); });
    std::erase_if(document_.documentTagList,
                  [&doomed](const OModbusTag* tag) { return doomed.count(tag) != 0; });
    device.eventSignalScanList.clear();
    device.alarmScanList.clear();
    devices_.erase(&device);
    for (const OTagGroup* group : groups) groups_.erase(group);
    for (OTagGroup* node = document_.selection; node != nullptr; node = node->parent)
        if (node == &device) {
            document_.selection = nullptr;
            break;
        }
    device.tagList.clear();
    device.subgroupList.clear();
    document_.SetModified();
}

OTagGroup& ImportSession::FindOrAddGroup(OTagGroup& parent, const std::string& name) {
    if (OTagGroup* existing = parent.FindSubgroup(name)) return *existing;
    auto group = std::make_unique<OTagGroup>();
    group->name = name;
    group->parent = &parent;
    OTagGroup* added = group.get();
    parent.InsertSubgroupByName(group);  // cannot be a duplicate: looked up above
    document_.SetModified();
    return *added;
}

ImportSession::GroupState& ImportSession::StateOf(OTagGroup& group) {
    auto [it, created] = groups_.try_emplace(&group);
    GroupState& state = it->second;
    if (created) {
        state.sorted = std::is_sorted(group.tagList.begin(), group.tagList.end(), NameBefore);
        state.byName.reserve(group.tagList.size());
        // The first of equal names wins, as in a search from the list's start.
        for (const auto& tag : group.tagList)
            state.byName.try_emplace(AsciiLowerCopy(tag->name), tag.get());
    }
    return state;
}

ImportSession::DeviceState& ImportSession::StateOf(ODevice& device) {
    auto [it, created] = devices_.try_emplace(&device);
    if (created) {
        const auto& events = device.eventSignalScanList;
        const auto& alarms = device.alarmScanList;
        it->second.events.sorted = std::is_sorted(events.begin(), events.end(), BeforeInScan);
        it->second.alarms.sorted = std::is_sorted(alarms.begin(), alarms.end(), BeforeInScan);
    }
    return it->second;
}

OModbusTag* ImportSession::FindTag(OTagGroup& group, const std::string& name) {
    GroupState& state = StateOf(group);
    auto it = state.byName.find(AsciiLowerCopy(name));
    return it == state.byName.end() ? nullptr : it->second;
}

OModbusTag* ImportSession::AddTag(OTagGroup& group, std::unique_ptr<OModbusTag> tag) {
    GroupState& state = StateOf(group);
    OModbusTag* added = tag.get();
    if (!state.byName.try_emplace(AsciiLowerCopy(added->name), added).second) return nullptr;
    added->group = &group;
    added->device = group.GetDevice();
    if (state.sorted) {
        state.pending.push_back(std::move(tag));
    } else {
        group.InsertTagByName(tag);
    }
    document_.documentTagList.push_back(added);
    if (ODevice* device = added->device) {
        // A new tag is in no list yet: it only becomes a candidate where it belongs.
        DeviceState& lists = StateOf(*device);
        if (added->IsEventSignal()) AddCandidate(*added, lists.events);
        if (added->HasEnabledAlarm()) AddCandidate(*added, lists.alarms);
    }
    return added;
}

// With the list in location order the tag is searched among the entries of its key
// only; its key must not have changed yet.
std::ptrdiff_t ImportSession::FindListed(const OModbusTag& tag, const TagList& list,
                                         const ListState& state) const {
    if (state.candidateSet.count(&tag) != 0) return -1;  // waiting, not listed
    auto first = list.begin();
    auto last = list.end();
    if (state.sorted) {
        auto range = std::equal_range(first, last, &tag, BeforeInScan);
        first = range.first;
        last = range.second;
    }
    auto it = std::find(first, last, &tag);
    return it == last ? -1 : it - list.begin();
}

ImportSession::ScanPlace ImportSession::BeginTagChange(OModbusTag& tag) {
    ScanPlace place;
    place.device = tag.device;
    place.kind = tag.locationKind;
    place.address = tag.address;
    if (place.device == nullptr) return place;
    DeviceState& lists = StateOf(*place.device);
    place.eventIndex = FindListed(tag, place.device->eventSignalScanList, lists.events);
    place.alarmIndex = FindListed(tag, place.device->alarmScanList, lists.alarms);
    return place;
}

void ImportSession::EndTagChange(OModbusTag& tag, const ScanPlace& place) {
    const bool keyKept = tag.locationKind == place.kind && tag.address == place.address;
    if (place.device != nullptr && place.device != tag.device) {
        // Moved to another device: out of the old one's lists, then as a newcomer.
        DeviceState& old = StateOf(*place.device);
        Reconcile(tag, place.device->eventSignalScanList, old.events, false, place.eventIndex,
                  false);
        Reconcile(tag, place.device->alarmScanList, old.alarms, false, place.alarmIndex, false);
        if (tag.device == nullptr) return;
        DeviceState& lists = StateOf(*tag.device);
        if (tag.IsEventSignal()) AddCandidate(tag, lists.events);
        if (tag.HasEnabledAlarm()) AddCandidate(tag, lists.alarms);
        return;
    }
    if (tag.device == nullptr) return;
    DeviceState& lists = StateOf(*tag.device);
    Reconcile(tag, tag.device->eventSignalScanList, lists.events, tag.IsEventSignal(),
              place.eventIndex, keyKept);
    Reconcile(tag, tag.device->alarmScanList, lists.alarms, tag.HasEnabledAlarm(), place.alarmIndex,
              keyKept);
}

// A listed tag that still belongs where it is stays; one that moved or left is taken out;
// one that belongs becomes a candidate, inserted at the end in location order.
void ImportSession::Reconcile(OModbusTag& tag, TagList& list, ListState& state, bool wanted,
                              std::ptrdiff_t index, bool keyKept) {
    if (state.candidateSet.count(&tag) != 0) return;  // decided when the lists are merged
    if (index >= 0) {
        if (wanted && keyKept) return;
        list.erase(list.begin() + index);
    }
    if (wanted) AddCandidate(tag, state);
}

void ImportSession::AddCandidate(OModbusTag& tag, ListState& state) {
    if (state.candidateSet.insert(&tag).second) state.candidates.push_back(&tag);
}

void ImportSession::FlushGroup(OTagGroup& group, GroupState& state) {
    if (state.pending.empty()) return;
    std::sort(state.pending.begin(), state.pending.end(), NameBefore);
    std::vector<std::unique_ptr<OModbusTag>> merged;
    merged.reserve(group.tagList.size() + state.pending.size());
    std::merge(std::make_move_iterator(group.tagList.begin()),
               std::make_move_iterator(group.tagList.end()),
               std::make_move_iterator(state.pending.begin()),
               std::make_move_iterator(state.pending.end()), std::back_inserter(merged),
               NameBefore);
    group.tagList = std::move(merged);
    state.pending.clear();
}

// Equal keys keep their order: listed tags first, then the candidates in the order they
// came, as one insertion after another would leave them.
void ImportSession::FlushList(const ODevice& device, TagList& list, ListState& state,
                              bool (*belongs)(const OModbusTag&)) {
    std::vector<OModbusTag*> joining;
    joining.reserve(state.candidates.size());
    for (OModbusTag* tag : state.candidates)
        if (tag->device == &device && belongs(*tag)) joining.push_back(tag);
    state.candidates.clear();
    state.candidateSet.clear();
    if (joining.empty()) return;
    if (!state.sorted) {
        for (OModbusTag* tag : joining) InsertSorted(tag, list);
        return;
    }
    std::stable_sort(joining.begin(), joining.end(), BeforeInScan);
    TagList merged;
    merged.reserve(list.size() + joining.size());
    std::merge(list.begin(), list.end(), joining.begin(), joining.end(), std::back_inserter(merged),
               BeforeInScan);
    list = std::move(merged);
}

void ImportSession::FlushAll() {
    for (auto& [group, state] : groups_) FlushGroup(*const_cast<OTagGroup*>(group), state);
    for (auto& [device, state] : devices_) {
        auto* d = const_cast<ODevice*>(device);
        FlushList(*d, d->eventSignalScanList, state.events, BelongsToEvents);
        FlushList(*d, d->alarmScanList, state.alarms, BelongsToAlarms);
    }
    groups_.clear();
    devices_.clear();
}

ImportReport ImportSession::Conclude(ImportReport report, bool stopped, bool readFailed) {
    if (!stopped && readFailed) {
        Message(kMsgReadException);
        stopped = true;
    }
    if (stopped) {
        Message(kMsgImportedBeforeStop + std::to_string(report.importedLines));
    } else if (report.badLines > 0) {
        Message(kMsgBadLines);
    }
    report.completed = !stopped;
    Finish(report.importedLines, true);
    return report;
}

void ImportSession::Finish(std::size_t importedCount, bool clearImportMarks) {
    if (finished_) return;
    finished_ = true;
    FlushAll();
    if (clearImportMarks)
        for (ODevice* device : document_.Devices()) device->importMark = 0;
    document_.batchFlag = false;
    document_.UpdateAllViews(kHintRebuild);
    if (importedCount > 0) document_.SetModified();
    data_.unlock();
    tree_.unlock();
    if (restartMonitor_) document_.ToggleMonitor();
    // Message boxes wait for the user: shown only once acquisition can go on.
    for (const auto& [text, error] : messages_) {
        if (services_.ui == nullptr) continue;
        if (error) {
            services_.ui->ShowError(text);
        } else {
            services_.ui->ShowMessage(text);
        }
    }
    messages_.clear();
}

}  // namespace velk
