#include "model/c_doc.h"

#include <algorithm>
#include <mutex>
#include <unordered_set>

#include "model/document_services.h"
#include "model/document_storage.h"
#include "model/document_ui.h"
#include "model/locks.h"
#include "model/user_condition_file.h"
#include "platform/clock.h"
#include "platform/session.h"
#include "platform/text.h"

namespace velk {

using TreeGuard = std::lock_guard<std::recursive_mutex>;

CDoc::CDoc(CDocServices services, ModelSettings settings)
    : services_(std::move(services)), settings_(std::move(settings)) {
    if (services_.locks == nullptr) services_.locks = &ownLocks_;
    LoadUserConditions();
}

CDoc::~CDoc() {
    if (monitorRunning.load()) ToggleMonitor();
    TreeGuard tree(Locks().tree);
    ClearContents();
}

// --- small helpers --------------------------------------------------------------------

bool CDoc::IsAdministrator() const {
    return services_.admin != nullptr && services_.admin->IsAdministrator();
}

std::int32_t CDoc::ComLockCount() const {
    return services_.counts ? services_.counts->ComLockCount() : 0;
}

std::int32_t CDoc::ClientCount() const {
    return services_.counts ? services_.counts->ClientCount() : 0;
}

FileTime CDoc::Now() const { return services_.clock ? services_.clock->NowUtc() : 0; }

void CDoc::Show(const std::string& text) {
    if (services_.ui) services_.ui->ShowMessage(text);
}

// An empty delimiter is found in every name, so every name is refused then.
bool CDoc::NameHasDelimiter(const std::string& name) const {
    return name.find(settings_.areaDelimiter) != std::string::npos;
}

void CDoc::LoadUserConditions() {
    if (services_.eventSpace == nullptr) services_.eventSpace = &ownEventSpace_;
    if (services_.files == nullptr) return;
    switch (LoadUserConditionFile(*services_.eventSpace, *services_.files,
                                  services_.conditionDirectories)) {
        case UserConditionLoad::Loaded:
            break;
        case UserConditionLoad::NotFound:
            Show(kMsgNoConditionFile);
            break;
        case UserConditionLoad::ReadError:
            Show(kMsgConditionFileReadError);
            break;
    }
}

void CDoc::ClearRememberedPaths() {
    lastCsvPath.clear();
    csvFilterIndex = 0;
    lastResPath.clear();
}

bool CDoc::PauseMonitor() {
    if (!monitorRunning.load()) return false;
    ToggleMonitor();
    return true;
}

// --- views ----------------------------------------------------------------------------

void CDoc::AddObserver(IDocumentObserver* observer) {
    if (observer && std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
        observers_.push_back(observer);
}

void CDoc::RemoveObserver(IDocumentObserver* observer) { std::erase(observers_, observer); }

void CDoc::SelectionChanged() {
    // Hint 2 without a tag: the tag list shows the current node's tags again and the tree
    // marks that node.
    if (!batchFlag) UpdateAllViews(kHintTagListChanged);
}

void CDoc::UpdateAllViews(int hint, OObject* item) {
    // A copy: an observer may unregister itself while it is told.
    const std::vector<IDocumentObserver*> observers = observers_;
    for (IDocumentObserver* observer : observers) observer->OnDocumentUpdate(hint, item);
}

// --- tree building --------------------------------------------------------------------

void CDoc::ClearContents() {
    TreeGuard tree(Locks().tree);
    // Everything goes: emptied first, the list need not be searched per destroyed tag.
    documentTagList.clear();
    while (!rootGroup.subgroupList.empty()) {
        std::unique_ptr<OTagGroup> device = std::move(rootGroup.subgroupList.back());
        rootGroup.subgroupList.pop_back();
        DestroyGroup(std::move(device));
    }
    portList.clear();
    selection = nullptr;
    nextDeviceNumber = 1;
}

void CDoc::AddDefaultPorts() {
    TreeGuard tree(Locks().tree);
    for (int number = 1; number <= 16; ++number)
        portList.push_back(std::make_unique<OPort>(number));
}

void CDoc::RegisterTag(OTagGroup& owner, OModbusTag* tag) {
    tag->group = &owner;
    tag->device = owner.GetDevice();
    documentTagList.push_back(tag);
    if (tag->device) tag->device->UpdateScanLists(tag);
}

void CDoc::RemoveFromDocumentList(const std::vector<const OModbusTag*>& tags) {
    if (tags.empty()) return;
    if (tags.size() == 1) {
        std::erase(documentTagList, tags.front());
        return;
    }
    const std::unordered_set<const OModbusTag*> doomed(tags.begin(), tags.end());
    std::erase_if(documentTagList, [&doomed](const OModbusTag* t) { return doomed.count(t) != 0; });
}

void CDoc::DestroyTag(OTagGroup& owner, const OModbusTag* tag) {
    ++destructions_;
    if (ODevice* device = owner.GetDevice()) device->RemoveFromScanLists(tag);
    RemoveFromDocumentList({tag});
    owner.DetachTag(tag);  // destroyed here
}

void CDoc::DestroyGroup(std::unique_ptr<OTagGroup> group) {
    if (!group) return;
    ++destructions_;
    ODevice* device = group->GetDevice();
    if (device == group.get() && services_.lifecycle) services_.lifecycle->StopDevice(*device);
    std::vector<const OModbusTag*> tags;
    group->ForEachTag([&tags](const OModbusTag* tag) { tags.push_back(tag); });
    if (device) {
        std::lock_guard<std::recursive_mutex> data(Locks().tagData);
        if (device == group.get()) {
            device->eventSignalScanList.clear();
            device->alarmScanList.clear();
        } else {
            for (const OModbusTag* tag : tags) device->RemoveFromScanLists(tag);
        }
    }
    RemoveFromDocumentList(tags);
    if (selection != nullptr) {
        // The selection must not outlive the group it points into.
        for (OTagGroup* g = selection; g != nullptr; g = g->parent)
            if (g == group.get()) {
                selection = nullptr;
                break;
            }
    }
    group.reset();
}

void CDoc::AdoptDevice(ODevice& device) { device.UseLocks(Locks()); }

void CDoc::LinkGroup(OTagGroup& group) {
    ODevice* device = group.GetDevice();
    if (group.IsDevice()) AdoptDevice(*device);
    for (auto& tag : group.tagList) {
        tag->group = &group;
        tag->device = device;
        if (device) device->UpdateScanLists(tag.get());
    }
    for (auto& sub : group.subgroupList) {
        sub->parent = &group;
        LinkGroup(*sub);
    }
}

void CDoc::LinkLoadedTree() {
    TreeGuard tree(Locks().tree);
    rootGroup.parent = nullptr;
    LinkGroup(rootGroup);
}

std::vector<std::string> CDoc::EnabledPortNames() const {
    std::vector<std::string> names;
    for (const auto& port : portList)
        if (port->enabled) names.push_back(port->name);
    return names;
}

std::vector<ODevice*> CDoc::Devices() const {
    std::vector<ODevice*> devices;
    for (const auto& sub : rootGroup.subgroupList)
        if (ODevice* device = sub->GetDevice(); device == sub.get()) devices.push_back(device);
    return devices;
}

std::vector<OPort*> CDoc::Ports() const {
    std::vector<OPort*> ports;
    for (const auto& port : portList) ports.push_back(port.get());
    return ports;
}

// --- new, open, save ------------------------------------------------------------------

void CDoc::ResetAsNew() {
    {
        TreeGuard tree(Locks().tree);
        ClearContents();
        AddDefaultPorts();
    }
    pathName_.clear();
    modified_ = false;
}

bool CDoc::OnNewDocument() {
    if (ComLockCount() != 0) {
        Show(kMsgClientsConnected);
        return false;
    }
    if (monitorRunning.load()) ToggleMonitor();
    {
        TreeGuard tree(Locks().tree);
        ClearContents();
    }
    UpdateAllViews(kHintCleared);
    ClearRememberedPaths();
    AddDefaultPorts();
    pathName_.clear();
    modified_ = false;
    return true;
}

bool CDoc::OnOpenDocument(const std::string& path) {
    if (ComLockCount() != 0) {
        Show(kMsgClientsConnected);
        return false;
    }
    if (monitorRunning.load()) ToggleMonitor();

    TreeGuard tree(Locks().tree);
    ClearContents();
    UpdateAllViews(kHintCleared);
    ClearRememberedPaths();

    std::string message = "Failed to open document.";
    const bool loaded =
        services_.storage != nullptr && services_.storage->Load(*this, path, message);
    if (!loaded) {
        // Whatever was read before the failure is discarded: the configuration is as by New.
        ResetAsNew();
        Show(message);
        UpdateAllViews(kHintRebuild);
        return false;
    }
    pathName_ = path;
    modified_ = false;
    const std::vector<ODevice*> devices = Devices();
    if (!devices.empty()) selection = devices.front();
    UpdateAllViews(kHintRebuild);
    return true;
}

bool CDoc::OnSaveDocument(const std::string& path) {
    std::string message = "Failed to save document.";
    if (services_.storage == nullptr || !services_.storage->Save(*this, path, message)) {
        Show(message);
        return false;
    }
    pathName_ = path;
    modified_ = false;
    return true;
}

// --- devices, groups, tags ------------------------------------------------------------

DeviceDialogValues CDoc::DialogValuesOf(const ODevice& device) {
    DeviceDialogValues values{device.name, device.description, device.params,
                              device.simulationEnabled};
    for (int i = 0; i < kCommAlarmCount; ++i) {
        values.commAlarms[static_cast<std::size_t>(i)] =
            CommAlarmSettings::Of(device.communicationAlarms[static_cast<std::size_t>(i)]);
    }
    return values;
}

void CDoc::ApplyCommAlarms(const DeviceDialogValues& values, ODevice& device) {
    // The alarms' configuration is read by the acquisition threads under TagDataLock.
    std::lock_guard<std::recursive_mutex> data(device.Locks().tagData);
    for (int i = 0; i < kCommAlarmCount; ++i) {
        values.commAlarms[static_cast<std::size_t>(i)].ApplyTo(
            device.communicationAlarms[static_cast<std::size_t>(i)]);
    }
}

bool CDoc::AddDevice() {
    if (!IsAdministrator()) return false;
    // Held for the whole operation, the dialog included, so that acquisition and OPC
    // calls that need the tree wait for it.
    TreeGuard tree(Locks().tree);

    auto device = std::make_unique<ODevice>(Now());
    AdoptDevice(*device);
    device->name = "Device" + std::to_string(nextDeviceNumber);
    ++nextDeviceNumber;

    DeviceDialogValues values = DialogValuesOf(*device);
    if (services_.ui == nullptr || !services_.ui->EditDeviceProperties(values, EnabledPortNames()))
        return false;  // the number stays consumed

    device->name = values.name;
    device->description = values.description;
    device->params = values.params;
    device->simulationEnabled = values.simulationEnabled;
    ApplyCommAlarms(values, *device);
    device->BindPorts(Ports());
    device->parent = &rootGroup;
    ODevice* added = device.get();
    selection = added;

    std::unique_ptr<OTagGroup> entry = std::move(device);
    if (!rootGroup.InsertSubgroupByName(entry)) {
        Show(kMsgDeviceExists);
        --nextDeviceNumber;
        selection = nullptr;
        SelectionChanged();
        return false;
    }
    if (!batchFlag) UpdateAllViews(kHintItemAdded, added);
    SelectionChanged();
    modified_ = true;
    return true;
}

bool CDoc::AddGroup(const std::string& groupName, bool silent) {
    if (!IsAdministrator() || selection == nullptr) return false;
    OTagGroup& parentGroup = *selection;
    auto group = std::make_unique<OTagGroup>();
    group->parent = &parentGroup;

    if (!silent) {
        std::string enteredName = "Group";
        std::string enteredDescription;
        if (services_.ui == nullptr ||
            !services_.ui->EditGroupProperties(enteredName, enteredDescription))
            return false;
        if (NameHasDelimiter(enteredName)) {
            Show(kMsgGroupDots);
            return false;
        }
        group->name = enteredName;
        group->description = enteredDescription;
    } else {
        group->name = groupName;
    }

    if (OTagGroup* existing = parentGroup.FindSubgroup(group->name)) {
        if (!silent) Show(kMsgGroupExists);
        selection = existing;
        SelectionChanged();
        return false;
    }

    OTagGroup* added = group.get();
    {
        TreeGuard tree(Locks().tree);
        // The first subgroup too becomes the selection: the tree shows the new node
        // selected, and the tag list and the commands must work on that node.
        parentGroup.InsertSubgroupByName(group);
        selection = added;
    }
    if (!batchFlag) UpdateAllViews(kHintItemAdded, added);
    SelectionChanged();
    modified_ = true;
    return true;
}

bool CDoc::AddTag() {
    if (!IsAdministrator() || selection == nullptr) return false;
    OTagGroup& group = *selection;
    ODevice* device = group.GetDevice();

    auto tag = std::make_unique<OModbusTag>(Now());
    tag->name = "Tag" + std::to_string(group.nextTagNumber);
    ++group.nextTagNumber;
    tag->device = device;

    if (services_.ui == nullptr || !services_.ui->EditTagProperties(*tag)) {
        --group.nextTagNumber;
        if (device) device->RemoveFromScanLists(tag.get());
        return false;
    }

    OModbusTag* added = tag.get();
    bool inserted = false;
    {
        TreeGuard tree(Locks().tree);
        if (NameHasDelimiter(tag->name)) {
            Show(kMsgTagDots);
        } else if (group.FindOwnTag(tag->name) != nullptr) {
            Show(kMsgTagExists);
        } else {
            inserted = group.InsertTagByName(tag);
        }
    }
    if (!inserted) {
        // TreeLock is released before the scan lists are touched (TagDataLock).
        --group.nextTagNumber;
        if (device) device->RemoveFromScanLists(added);
        return false;
    }

    const bool restartMonitor = ClientCount() != 0 && PauseMonitor();
    if (device) device->UpdateScanLists(added);
    added->group = &group;
    documentTagList.push_back(added);
    if (!batchFlag) UpdateAllViews(kHintTagListChanged);
    modified_ = true;
    if (restartMonitor) ToggleMonitor();
    return true;
}

void CDoc::InsertPastedTag(OTagGroup& group, std::unique_ptr<OModbusTag> tag) {
    TreeGuard tree(Locks().tree);
    OModbusTag* added = tag.get();
    if (!group.InsertTagByName(tag)) return;  // the caller compared the names already
    RegisterTag(group, added);
}

bool CDoc::PasteTags(std::vector<std::unique_ptr<OModbusTag>> tags) {
    if (selection == nullptr) return false;
    return PasteTagsInto(*selection, std::move(tags));
}

bool CDoc::PasteTagsInto(OTagGroup& group, std::vector<std::unique_ptr<OModbusTag>> tags) {
    if (!IsAdministrator() || tags.empty()) return false;
    const bool restartMonitor = ClientCount() != 0 && PauseMonitor();

    for (auto& pasted : tags) {
        bool cancelled = false;
        for (;;) {
            OModbusTag* existing = group.FindOwnTag(pasted->name);
            if (existing == nullptr) {
                InsertPastedTag(group, std::move(pasted));
                break;
            }
            std::string newName = pasted->name;
            const CopyTagChoice choice = services_.ui
                                             ? services_.ui->AskCopyTag(*pasted, *existing, newName)
                                             : CopyTagChoice::Cancel;
            if (choice == CopyTagChoice::Rename) {
                pasted->name = newName;
                continue;  // compared again from the start of the group's tags
            }
            if (choice == CopyTagChoice::Overwrite) {
                // The DA items read a tag's type and scaling object under TreeLock or
                // TagDataLock; the overwrite replaces them under both.
                TreeGuard tree(Locks().tree);
                std::lock_guard<std::recursive_mutex> data(Locks().tagData);
                existing->CopyFrom(*pasted);
                // The overwritten tag may now be elsewhere or carry another alarm: its
                // scan-list memberships follow its new configuration.
                if (existing->device) existing->device->UpdateScanLists(existing);
            }
            cancelled = choice == CopyTagChoice::Cancel;
            pasted.reset();
            break;
        }
        if (cancelled) break;  // the remaining tags are destroyed with the list
    }

    UpdateAllViews(kHintTagListChanged);
    modified_ = true;
    if (restartMonitor) ToggleMonitor();
    return true;
}

bool CDoc::DeleteSelection() {
    if (!IsAdministrator()) return false;
    TreeGuard tree(Locks().tree);
    if (selection == nullptr || selection->useCount != 0 || monitorRunning.load() ||
        ClientCount() != 0)
        return false;

    OTagGroup* doomed = selection;
    OTagGroup* owner = doomed->parent;
    if (owner == nullptr) return false;  // the root group is not deletable
    if (owner == &rootGroup) {
        auto& devices = rootGroup.subgroupList;
        auto it = std::find_if(devices.begin(), devices.end(),
                               [doomed](const auto& d) { return d.get() == doomed; });
        OTagGroup* previous =
            (it != devices.begin() && it != devices.end()) ? (it - 1)->get() : nullptr;
        std::unique_ptr<OTagGroup> device = rootGroup.DetachSubgroup(doomed);
        selection = previous;
        DestroyGroup(std::move(device));
    } else {
        std::unique_ptr<OTagGroup> group = owner->DetachSubgroup(doomed);
        DestroyGroup(std::move(group));
        selection = nullptr;
    }
    if (!batchFlag) UpdateAllViews(kHintRebuild);
    modified_ = true;
    return true;
}

bool CDoc::CanDeleteTags(const std::vector<OModbusTag*>& tags) const {
    if (!IsAdministrator() || selection == nullptr || ClientCount() != 0 || tags.empty())
        return false;
    const OTagGroup& group = *selection;
    return std::all_of(tags.begin(), tags.end(), [&group](const OModbusTag* tag) {
        return tag != nullptr && tag->opcReferenceCount == 0 && tag->group == &group &&
               std::any_of(group.tagList.begin(), group.tagList.end(),
                           [tag](const auto& t) { return t.get() == tag; });
    });
}

bool CDoc::DeleteTags(const std::vector<OModbusTag*>& tags) {
    if (!IsAdministrator() || selection == nullptr || ClientCount() != 0 || tags.empty())
        return false;
    OTagGroup& group = *selection;
    bool deleted = false;
    {
        TreeGuard tree(Locks().tree);
        for (OModbusTag* tag : tags) {
            // A tag that OPC items still refer to stays: deleting it would leave them
            // pointing at nothing.
            if (tag == nullptr || tag->opcReferenceCount != 0 || tag->group != &group) continue;
            if (std::none_of(group.tagList.begin(), group.tagList.end(),
                             [tag](const auto& t) { return t.get() == tag; }))
                continue;
            DestroyTag(group, tag);
            deleted = true;
        }
    }
    if (!deleted) return false;
    UpdateAllViews(kHintTagListChanged);
    modified_ = true;
    return true;
}

// --- properties -----------------------------------------------------------------------

bool CDoc::EditSelectionProperties() {
    if (selection == nullptr) return false;
    if (ODevice* device = selection->GetDevice(); device == selection)
        return EditDeviceProperties(*device);
    return EditGroupProperties(*selection);
}

bool CDoc::EditDeviceProperties(ODevice& device) {
    if (!IsAdministrator() || services_.ui == nullptr) return false;
    DeviceDialogValues values = DialogValuesOf(device);
    if (!services_.ui->EditDeviceProperties(values, EnabledPortNames())) return false;
    {
        TreeGuard tree(Locks().tree);
        device.name = values.name;  // not compared with the other devices' names
        device.description = values.description;
        device.params = values.params;
        device.simulationEnabled = values.simulationEnabled;
        ApplyCommAlarms(values, device);
        device.BindPorts(Ports());
    }
    UpdateAllViews(kHintItemChanged, &device);
    modified_ = true;
    return true;
}

bool CDoc::EditGroupProperties(OTagGroup& group) {
    if (!IsAdministrator() || services_.ui == nullptr) return false;
    std::string enteredName = group.name;
    std::string enteredDescription = group.description;
    if (!services_.ui->EditGroupProperties(enteredName, enteredDescription)) return false;
    group.name = enteredName;
    group.description = enteredDescription;
    UpdateAllViews(kHintItemChanged, &group);
    modified_ = true;
    return true;
}

bool CDoc::EditPorts(OPort* fixedPort) {
    if (!IsAdministrator() || services_.ui == nullptr) return false;
    services_.ui->EditPortProperties(Ports(), fixedPort);
    modified_ = true;
    return true;
}

// --- monitor --------------------------------------------------------------------------

void CDoc::ToggleMonitor() {
    if (!monitorRunning.load()) {
        if (Devices().empty()) return;
        monitorRunning = true;
        const bool started = services_.monitor != nullptr && services_.monitor->Start(*this);
        if (!started) {
            // Not reported; the flag must not claim a monitor that does not run.
            monitorRunning = false;
            return;
        }
        if (services_.ui) services_.ui->StartMonitorRefreshTimer();
        return;
    }
    monitorRunning = false;
    if (services_.ui) services_.ui->StopMonitorRefreshTimer();
    if (services_.monitor) services_.monitor->Join();
    UpdateAllViews(kHintTagListChanged);
}

void CDoc::StopMonitor() {
    if (monitorRunning.load()) ToggleMonitor();
}

// --- lookup ---------------------------------------------------------------------------

ODevice* CDoc::FindDevice(const std::string& deviceName) const {
    for (ODevice* device : Devices())
        if (EqualsNoCase(device->name, deviceName)) return device;
    return nullptr;
}

OModbusTag* CDoc::FindTag(const std::string& path, const std::string& delimiter,
                          ODevice** deviceOut) const {
    TreeGuard tree(Locks().tree);
    if (deviceOut) *deviceOut = nullptr;
    const std::size_t at = delimiter.empty() ? std::string::npos : path.find(delimiter);
    if (at == std::string::npos || at == 0) return nullptr;
    ODevice* device = FindDevice(path.substr(0, at));
    if (device == nullptr) return nullptr;
    if (deviceOut) *deviceOut = device;
    return device->FindTagInGroup(path.substr(at + 1), delimiter);
}

OModbusTag* CDoc::FindTagById(std::uint32_t id) const {
    for (OModbusTag* tag : documentTagList)
        if (tag->id == id) return tag;
    return nullptr;
}

ODeviceAlarm* CDoc::FindDeviceAlarmById(std::uint32_t id, ODevice** deviceOut) const {
    for (ODevice* device : Devices())
        for (ODeviceAlarm& alarm : device->communicationAlarms)
            if (alarm.id == id) {
                if (deviceOut) *deviceOut = device;
                return &alarm;
            }
    return nullptr;
}

}  // namespace velk
