#include "opcda/opc_server.h"

#include <algorithm>
#include <string_view>

#include "core/trace_file.h"
#include "model/locks.h"
#include "model/o_analog_data.h"
#include "model/o_device.h"
#include "model/o_modbus_tag.h"
#include "model/o_tag_group.h"
#include "opc/device_workers.h"
#include "opc/opc_call_trace.h"
#include "opc/opc_result.h"
#include "opcda/c_enum_item_attributes.h"
#include "opcda/item_rules.h"
#include "platform/clock.h"
#include "platform/text.h"

namespace velk {

using opc_calls::Traced;

namespace {

constexpr std::uint32_t kTemporaryGroupRate = 1;

// The fixed property table: id, description, and whether only analog items list it.
struct PropertyRow {
    std::uint32_t id;
    const char* description;
    VarType type;  // VT_EMPTY: the item's canonical type
    bool analogOnly;
};

constexpr PropertyRow kProperties[] = {
    {1, "Item Canonical DataType", VT_I2, false},
    {2, "Item Value", VT_EMPTY, false},
    {3, "Item Quality", VT_I2, false},
    {4, "Item Timestamp", VT_DATE, false},
    {5, "Item Access Rights", VT_I4, false},
    {6, "Server Scan Rate", VT_R4, false},
    {101, "Item Description", VT_BSTR, false},
    {200, "Default Display", VT_BSTR, false},
    {100, "EU Units", VT_BSTR, true},
    {102, "High EU", VT_R8, true},
    {103, "Low EU", VT_R8, true},
    {5401, "Process High Value", VT_R8, true},
    {5400, "Process Low Value", VT_R8, true},
};

std::vector<std::string> SplitPath(const std::string& text, const std::string& delimiter) {
    std::vector<std::string> parts;
    if (delimiter.empty()) {
        parts.push_back(text);
        return parts;
    }
    std::size_t start = 0;
    while (true) {
        const std::size_t at = text.find(delimiter, start);
        if (at == std::string::npos) {
            parts.push_back(text.substr(start));
            return parts;
        }
        parts.push_back(text.substr(start, at - start));
        start = at + delimiter.size();
    }
}

}  // namespace

OModbusTag* FindItemTag(const OTagGroup& root, const std::string& itemID, ODevice** device) {
    if (device) *device = nullptr;
    const std::size_t dot = itemID.find('.');
    if (dot == std::string::npos) return nullptr;
    OTagGroup* node = root.FindSubgroup(itemID.substr(0, dot));
    if (node == nullptr || !node->IsDevice()) return nullptr;
    OModbusTag* tag = node->FindTagInGroup(itemID.substr(dot + 1), ".");
    if (tag != nullptr && device) *device = node->GetDevice();
    return tag;
}

std::shared_ptr<OPCServer> OPCServer::Create(DAServerServices services, DAServerSettings settings) {
    std::shared_ptr<OPCServer> server(new OPCServer(std::move(services), std::move(settings)));
    if (server->services_.registry) server->services_.registry->AddDAServer(server.get());
    const std::string& client = server->settings_.client;
    Trace(client.empty() ? std::string("Creating OPC DA server instance")
                         : "Creating OPC DA server instance for " + client);
    return server;
}

OPCServer::OPCServer(DAServerServices services, DAServerSettings settings)
    : services_(std::move(services)),
      settings_(std::move(settings)),
      workers_(services_.workers ? services_.workers : std::make_shared<DeviceWorkers>()),
      groupQuota_(services_.quotas.groups
                      ? services_.quotas.groups
                      : std::make_shared<ClientQuota>(settings_.limits.maxGroups)),
      items_(services_.quotas.items ? services_.quotas.items
                                    : std::make_shared<ClientQuota>(settings_.limits.maxItems)),
      requests_(services_.quotas.requests
                    ? services_.quotas.requests
                    : std::make_shared<ClientQuota>(settings_.limits.maxRequests)),
      position_(services_.root) {}

OPCServer::~OPCServer() {
    if (services_.registry) services_.registry->RemoveDAServer(this);
    std::map<std::uint32_t, std::shared_ptr<OPCGroup>> released;
    {
        std::lock_guard lock(tableLock_);
        released.swap(groups_);
        names_.clear();
    }
    for (auto& [handle, group] : released) {
        OPCGroup& g = *group;
        g.MarkRemoved(std::move(group));
    }
    released.clear();
    Trace("OPC DA server object destroyed");
}

// ---- groups ----

std::shared_ptr<OPCGroup> OPCServer::NewGroup(std::uint32_t handle, std::shared_ptr<void> place) {
    GroupServices gs;
    gs.place = std::move(place);
    gs.clock = services_.clock;
    gs.tagIO = services_.tagIO;
    gs.changelessUpdate = settings_.changelessUpdate;
    gs.launcher = services_.launcher ? services_.launcher : workers_.get();
    // Update cycles that a host runs itself read their devices on the host's thread.
    gs.deviceReads = settings_.runUpdateCycles ? workers_.get() : nullptr;
    gs.updates = settings_.runUpdateCycles ? &workers_->Updates() : nullptr;
    gs.workersAlive = workers_;
    gs.items = items_;
    gs.requests = requests_;
    gs.locks = services_.locks;
    const OTagGroup* root = services_.root;
    gs.findItem = [root](const std::string& id, ODevice** device) {
        return root ? FindItemTag(*root, id, device) : nullptr;
    };
    return std::make_shared<OPCGroup>(std::move(gs), weak_from_this(), lastUpdate_, handle);
}

bool OPCServer::IsNameUsed(const std::string& name, const OPCGroup* except) const {
    auto found = names_.find(name);
    return found != names_.end() && (except == nullptr || found->second != except->ServerHandle());
}

void OPCServer::EnterName(const std::string& name, std::uint32_t handle) { names_[name] = handle; }

void OPCServer::ForgetName(const std::string& name) {
    names_.erase(name);
    // A generated name that comes free again is the first candidate of the next search.
    constexpr std::string_view prefix = "Group";
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return;
    const std::string digits = name.substr(prefix.size());
    if (digits.size() > 9 || digits[0] == '0' ||
        digits.find_first_not_of("0123456789") != std::string::npos) {
        return;
    }
    lowestFreeNumber_ = std::min(lowestFreeNumber_, static_cast<std::uint32_t>(std::stoul(digits)));
}

std::string OPCServer::GenerateGroupName() {
    // Every number below lowestFreeNumber_ is taken, so the search starts there; it passes
    // only names that are in use.
    for (std::uint32_t n = lowestFreeNumber_;; ++n) {
        std::string name = "Group" + std::to_string(n);
        if (IsNameUsed(name, nullptr)) continue;
        lowestFreeNumber_ = n + 1;
        return name;
    }
}

HRESULT OPCServer::AddGroup(const std::string* name, bool active, std::uint32_t requestedRate,
                            std::uint32_t hClientGroup, const std::int32_t* timeBias,
                            const float* percentDeadband, std::uint32_t lcid,
                            std::shared_ptr<OPCGroup>* group, std::uint32_t* hServerGroup,
                            std::uint32_t* revisedRate) {
    if (group == nullptr) return Traced("IOPCServer::AddGroup", E_INVALIDARG);
    std::shared_ptr<OPCGroup> created;
    {
        std::lock_guard lock(tableLock_);
        std::shared_ptr<void> place = groupQuota_->Take();
        if (!place) return Traced("IOPCServer::AddGroup", E_OUTOFMEMORY);
        std::string groupName;
        if (name == nullptr || name->empty()) {
            groupName = GenerateGroupName();
        } else if (IsNameUsed(*name, nullptr)) {
            return Traced("IOPCServer::AddGroup", OPC_E_DUPLICATENAME);
        } else {
            groupName = *name;
        }
        const std::uint32_t handle = nextGroupHandle_++;
        try {
            created = NewGroup(handle, std::move(place));
        } catch (const std::bad_alloc&) {
            return Traced("IOPCServer::AddGroup", E_OUTOFMEMORY);
        }
        created->Initialise(std::move(groupName), active, requestedRate, hClientGroup,
                            timeBias ? *timeBias : 0, percentDeadband ? *percentDeadband : 0.0f,
                            lcid);
        // The update pool refuses only while it stops or when it has no thread at all.
        if (settings_.runUpdateCycles && !created->StartUpdates()) {
            ForgetName(created->Name());  // a generated name is free again
            return Traced("IOPCServer::AddGroup", E_FAIL);
        }
        EnterName(created->Name(), handle);
        groups_.emplace(handle, created);
    }
    *group = created;
    if (hServerGroup) *hServerGroup = created->ServerHandle();
    HRESULT hr = S_OK;
    if (revisedRate) {
        *revisedRate = std::max(requestedRate, OPCGroup::kMinimumUpdateRate);
        if (*revisedRate != requestedRate) hr = OPC_S_UNSUPPORTEDRATE;
    }
    return Traced("IOPCServer::AddGroup", hr);
}

bool OPCServer::RenameGroup(OPCGroup& group, const std::string& name) {
    std::lock_guard lock(tableLock_);
    if (IsNameUsed(name, &group)) return false;
    auto entry = groups_.find(group.ServerHandle());
    // A removed group that the client still holds keeps no place in the index.
    if (entry != groups_.end() && entry->second.get() == &group) {
        ForgetName(group.Name());
        EnterName(name, group.ServerHandle());
    }
    group.SetNameUnchecked(name);
    return true;
}

std::size_t OPCServer::GroupCount() const {
    std::lock_guard lock(tableLock_);
    return groups_.size();
}

HRESULT OPCServer::GetErrorString(HRESULT /*code*/, std::uint32_t /*locale*/, std::string* text) {
    // The message table holds no texts for these codes, in any language.
    if (text) text->clear();
    return Traced("IOPCServer::GetErrorString", E_FAIL);
}

HRESULT OPCServer::GetGroupByName(const std::string* name, std::shared_ptr<OPCGroup>* group) {
    if (name == nullptr || group == nullptr) {
        return Traced("IOPCServer::GetGroupByName", E_INVALIDARG);
    }
    std::lock_guard lock(tableLock_);
    auto found = names_.find(*name);
    if (found == names_.end()) return Traced("IOPCServer::GetGroupByName", E_INVALIDARG);
    *group = groups_.at(found->second);
    return Traced("IOPCServer::GetGroupByName", S_OK);
}

HRESULT OPCServer::GetStatus(OPCSERVERSTATUS* status) {
    if (status == nullptr) return Traced("IOPCServer::GetStatus", E_INVALIDARG);
    status->startTime = settings_.startTime;
    status->currentTime = services_.clock->NowUtc();
    status->lastUpdateTime = lastUpdate_->load();
    status->serverState = OPC_STATUS_RUNNING;
    status->groupCount = static_cast<std::uint32_t>(GroupCount());
    status->bandWidth = 0;
    status->majorVersion = settings_.majorVersion;
    status->minorVersion = settings_.minorVersion;
    status->buildNumber = settings_.buildNumber;
    status->vendorInfo = settings_.vendorInfo;
    return Traced("IOPCServer::GetStatus", S_OK);
}

HRESULT OPCServer::RemoveGroup(std::uint32_t hServerGroup, bool /*force*/) {
    std::shared_ptr<OPCGroup> group;
    {
        std::lock_guard lock(tableLock_);
        auto it = groups_.find(hServerGroup);
        if (it == groups_.end()) return Traced("IOPCServer::RemoveGroup", E_INVALIDARG);
        group = std::move(it->second);
        groups_.erase(it);
        ForgetName(group->Name());
    }
    OPCGroup& g = *group;
    g.MarkRemoved(std::move(group));
    return Traced("IOPCServer::RemoveGroup", S_OK);
}

HRESULT OPCServer::CreateGroupEnumerator(std::uint32_t scope, EnumInterface kind,
                                         std::vector<std::string>* names,
                                         std::vector<std::shared_ptr<OPCGroup>>* groups) {
    const char* method = "IOPCServer::CreateGroupEnumerator";
    if (kind == EnumInterface::Other) return Traced(method, E_NOINTERFACE);
    if ((kind == EnumInterface::String && names == nullptr) ||
        (kind == EnumInterface::Unknown && groups == nullptr)) {
        return Traced(method, E_INVALIDARG);
    }
    std::size_t listed = 0;
    {
        std::lock_guard lock(tableLock_);
        const bool all = (scope & 0x7) != 0;  // every group is private
        if (kind == EnumInterface::String) names->clear();
        if (kind == EnumInterface::Unknown) groups->clear();
        for (const auto& [handle, group] : groups_) {
            if (!all) break;
            if (kind == EnumInterface::String) names->push_back(group->Name());
            if (kind == EnumInterface::Unknown) groups->push_back(group);
            ++listed;
        }
    }
    return Traced(method, listed > 0 ? S_OK : S_FALSE);
}

// ---- common ----

HRESULT OPCServer::SetLocaleID(std::uint32_t lcid) {
    return Traced("IOPCCommon::SetLocaleID", lcid == LOCALE_SYSTEM_DEFAULT ? S_OK : E_INVALIDARG);
}

HRESULT OPCServer::GetLocaleID(std::uint32_t* lcid) {
    if (lcid == nullptr) return Traced("IOPCCommon::GetLocaleID", E_INVALIDARG);
    *lcid = LOCALE_SYSTEM_DEFAULT;
    return Traced("IOPCCommon::GetLocaleID", S_OK);
}

HRESULT OPCServer::QueryAvailableLocaleIDs(std::vector<std::uint32_t>* lcids) {
    if (lcids == nullptr) return Traced("IOPCCommon::QueryAvailableLocaleIDs", E_INVALIDARG);
    *lcids = {LOCALE_SYSTEM_DEFAULT};
    return Traced("IOPCCommon::QueryAvailableLocaleIDs", S_OK);
}

HRESULT OPCServer::GetErrorString(HRESULT /*code*/, std::string* text) {
    if (text) text->clear();
    return Traced("IOPCCommon::GetErrorString", E_FAIL);
}

HRESULT OPCServer::SetClientName(const std::string& /*name*/) {
    return Traced("IOPCCommon::SetClientName", S_OK);
}

// ---- browsing ----

HRESULT OPCServer::QueryOrganization(std::uint32_t* organization) {
    const char* method = "IOPCBrowseServerAddressSpace::QueryOrganization";
    if (organization == nullptr) return Traced(method, E_INVALIDARG);
    *organization = OPC_NS_HIERARCHIAL;
    return Traced(method, S_OK);
}

OTagGroup* OPCServer::BranchAtPath(const std::string& path) const {
    OTagGroup* node = services_.root;
    for (const std::string& name : SplitPath(path, settings_.itemPathDelimiter)) {
        if (name.empty() || node == nullptr) return nullptr;
        node = node->FindSubgroup(name);
    }
    return node;
}

HRESULT OPCServer::ChangeBrowsePosition(std::uint32_t direction, const std::string& text) {
    const char* method = "IOPCBrowseServerAddressSpace::ChangeBrowsePosition";
    std::lock_guard lock(browseLock_);
    switch (direction) {
        case OPC_BROWSE_UP:
            if (position_ == nullptr || position_ == services_.root) return Traced(method, E_FAIL);
            position_ = position_->parent ? position_->parent : services_.root;
            return Traced(method, S_OK);
        case OPC_BROWSE_DOWN: {
            OTagGroup* child = position_ ? position_->FindSubgroup(text) : nullptr;
            if (child == nullptr) return Traced(method, E_FAIL);
            position_ = child;
            return Traced(method, S_OK);
        }
        case OPC_BROWSE_TO: {
            OTagGroup* node = BranchAtPath(text);
            if (node == nullptr) return Traced(method, E_FAIL);
            position_ = node;
            return Traced(method, S_OK);
        }
        default:
            return Traced(method, E_INVALIDARG);
    }
}

HRESULT OPCServer::BrowseOPCItemIDs(std::uint32_t filterType, const std::string& filterCriteria,
                                    VarType dataTypeFilter, std::uint32_t accessRightsFilter,
                                    std::unique_ptr<CEnumItemIDs>* enumerator) {
    const char* method = "IOPCBrowseServerAddressSpace::BrowseOPCItemIDs";
    if (enumerator == nullptr) return Traced(method, E_INVALIDARG);
    if (filterType != OPC_BRANCH && filterType != OPC_LEAF && filterType != OPC_FLAT) {
        return Traced(method, E_INVALIDARG);
    }
    OTagGroup* node = nullptr;
    {
        std::lock_guard lock(browseLock_);
        node = position_;
    }
    if (node == nullptr) return Traced(method, E_FAIL);
    *enumerator = std::make_unique<CEnumItemIDs>(*node, filterType == OPC_LEAF, filterCriteria,
                                                 dataTypeFilter, accessRightsFilter);
    return Traced(method, S_OK);
}

HRESULT OPCServer::GetItemID(const std::string& name, std::string* itemID) {
    const char* method = "IOPCBrowseServerAddressSpace::GetItemID";
    if (itemID == nullptr) return Traced(method, E_INVALIDARG);
    OTagGroup* node = nullptr;
    {
        std::lock_guard lock(browseLock_);
        node = position_;
    }
    if (node == nullptr) return Traced(method, E_INVALIDARG);
    bool found = false;
    for (const auto& sub : node->subgroupList) found |= sub->name == name;
    for (const auto& tag : node->tagList) found |= tag->name == name;
    if (!found) return Traced(method, E_INVALIDARG);
    *itemID = node->GetPathPrefix(settings_.itemPathDelimiter) + name;
    return Traced(method, S_OK);
}

HRESULT OPCServer::BrowseAccessPaths(const std::string& /*itemID*/) {
    return Traced("IOPCBrowseServerAddressSpace::BrowseAccessPaths", E_NOTIMPL);
}

// ---- item properties ----

HRESULT OPCServer::ResolveItem(const std::string& itemID, bool readFromDevice, ResolvedItem& out) {
    std::shared_ptr<OPCGroup> group;
    std::uint32_t handle = 0;
    {
        std::lock_guard lock(tableLock_);
        handle = nextGroupHandle_++;
        try {
            group = NewGroup(handle, nullptr);
        } catch (const std::bad_alloc&) {
            return Traced("IOPCServer::AddTemporaryGroup", E_OUTOFMEMORY);
        }
        std::string name = GenerateGroupName();
        EnterName(name, handle);
        group->Initialise(std::move(name), false, kTemporaryGroupRate, 0, 0, 0.0f,
                          LOCALE_SYSTEM_DEFAULT);
        groups_.emplace(handle, group);
    }
    Traced("IOPCServer::AddTemporaryGroup", S_OK);
    out.revisedRate = std::max(kTemporaryGroupRate, OPCGroup::kMinimumUpdateRate);

    HRESULT hr = S_OK;
    OPCITEMDEF def;
    def.itemID = itemID;
    def.active = true;
    std::vector<OPCITEMRESULT> results;
    std::vector<HRESULT> errors;
    group->AddItems({def}, results, errors);
    if (errors.empty()) {
        hr = E_FAIL;
    } else if (Failed(errors[0])) {
        hr = errors[0];
    }
    if (Succeeded(hr)) {
        out.result = results[0];
        out.tag = group->TagOf(results[0].hServer);
        std::unique_ptr<CEnumItemAttributes> items;
        group->CreateEnumerator(&items);
        std::vector<OPCITEMATTRIBUTES> attributes;
        items->Next(1, attributes);
        items.reset();
        if (!attributes.empty()) out.attributes = attributes[0];
    }
    if (Succeeded(hr) && readFromDevice) {
        std::vector<OPCITEMSTATE> states;
        group->Read(OPC_DS_DEVICE, {results[0].hServer}, states, errors);
        if (errors.empty() || Failed(errors[0])) {
            hr = errors.empty() ? E_FAIL : errors[0];
        } else {
            out.state = states[0];
        }
    }
    RemoveGroup(handle, true);
    return hr;
}

HRESULT OPCServer::QueryAvailableProperties(const std::string* itemID,
                                            std::vector<ItemPropertyInfo>* properties) {
    const char* method = "IOPCItemProperties::QueryAvailableProperties";
    if (itemID == nullptr || properties == nullptr) return Traced(method, E_INVALIDARG);
    ResolvedItem item;
    if (itemID->empty() || Failed(ResolveItem(*itemID, false, item))) {
        return Traced(method, OPC_E_UNKNOWNITEMID);
    }
    const bool analog = item.attributes.euType == OPC_ANALOG;
    properties->clear();
    for (const PropertyRow& row : kProperties) {
        if (row.analogOnly && !analog) continue;
        properties->push_back({row.id, row.description,
                               row.type == VT_EMPTY ? item.result.canonicalDataType : row.type});
    }
    return Traced(method, S_OK);
}

HRESULT OPCServer::GetItemProperties(const std::string* itemID,
                                     const std::vector<std::uint32_t>& ids,
                                     std::vector<OpcValue>* values, std::vector<HRESULT>* errors) {
    const char* method = "IOPCItemProperties::GetItemProperties";
    if (itemID == nullptr || ids.empty() || values == nullptr || errors == nullptr) {
        return Traced(method, E_INVALIDARG);
    }
    ResolvedItem item;
    if (itemID->empty() || Failed(ResolveItem(*itemID, true, item)) || item.tag == nullptr) {
        return Traced(method, OPC_E_UNKNOWNITEMID);
    }
    const OModbusTag& tag = *item.tag;
    const bool analog = item.attributes.euType == OPC_ANALOG;
    values->assign(ids.size(), OpcValue{});
    errors->assign(ids.size(), S_OK);
    std::lock_guard tree(services_.locks->tree);  // description and scaling are configuration
    // The tag sheet replaces a tag's scaling object under TagDataLock: the object is taken and
    // read under it.
    std::lock_guard data(services_.locks->tagData);
    const OAnalogData* scaling = ActiveAnalogScaling(tag);
    for (std::size_t i = 0; i < ids.size(); ++i) {
        OpcValue& v = (*values)[i];
        const bool analogReady = analog && scaling != nullptr;
        switch (ids[i]) {
            case 1:
                v = OpcValue::Of(
                    Variant::Int16(static_cast<std::int16_t>(item.result.canonicalDataType)));
                break;
            case 2:
                v = OpcValue::Of(item.state.value);
                break;
            case 3:
                v = OpcValue::Of(Variant::Int16(static_cast<std::int16_t>(item.state.quality)));
                break;
            case 4:
                v = OpcValue::Date(LocalTimeToDate(services_.clock->ToLocal(item.state.timestamp)));
                break;
            case 5:
                v = OpcValue::Of(
                    Variant::Int32(static_cast<std::int32_t>(item.attributes.accessRights)));
                break;
            case 6:
                v = OpcValue::Of(Variant::Float(static_cast<float>(item.revisedRate)));
                break;
            case 101:
                v = OpcValue::Of(Variant::Text(tag.description));
                break;
            case 200:
                v = OpcValue::Of(Variant::Text(tag.defaultDisplay));
                break;
            case 100:
                if (analogReady) {
                    v = OpcValue::Of(Variant::Text(scaling->units));
                    break;
                }
                (*errors)[i] = OPC_E_INVALID_PID;
                break;
            case 102:
                if (analogReady) {
                    v = OpcValue::Of(Variant::Double(scaling->engineeringMaximum));
                    break;
                }
                (*errors)[i] = OPC_E_INVALID_PID;
                break;
            case 103:
                if (analogReady) {
                    v = OpcValue::Of(Variant::Double(scaling->engineeringMinimum));
                    break;
                }
                (*errors)[i] = OPC_E_INVALID_PID;
                break;
            case 5400:
                if (analogReady) {
                    v = OpcValue::Of(Variant::Double(scaling->lowProcess));
                    break;
                }
                (*errors)[i] = OPC_E_INVALID_PID;
                break;
            case 5401:
                if (analogReady) {
                    v = OpcValue::Of(Variant::Double(scaling->highProcess));
                    break;
                }
                (*errors)[i] = OPC_E_INVALID_PID;
                break;
            default:
                (*errors)[i] = OPC_E_INVALID_PID;
                break;
        }
    }
    return Traced(method, S_OK);
}

HRESULT OPCServer::LookupItemIDs(const std::string* itemID, const std::vector<std::uint32_t>& ids,
                                 std::vector<std::string>* newItemIDs,
                                 std::vector<HRESULT>* errors) {
    const char* method = "IOPCItemProperties::LookupItemIDs";
    if (itemID == nullptr || newItemIDs == nullptr || errors == nullptr) {
        return Traced(method, E_INVALIDARG);
    }
    newItemIDs->assign(ids.size(), std::string());
    errors->assign(ids.size(), E_FAIL);
    for (std::size_t i = 0; i < ids.size(); ++i) {
        if (ids[i] != 2) continue;
        (*newItemIDs)[i] = *itemID;
        (*errors)[i] = S_OK;
    }
    return Traced(method, S_OK);
}

// ---- shutdown ----

HRESULT OPCServer::AdviseShutdown(std::shared_ptr<IClientSink> sink, std::uint32_t* cookie) {
    const char* method = "IConnectionPoint<IOPCShutdown>::Advise";
    if (cookie == nullptr) return Traced(method, E_INVALIDARG);
    if (!sink) return Traced(method, E_POINTER);
    *cookie = shutdownSinks_.Add(std::move(sink));
    return Traced(method, S_OK);
}

HRESULT OPCServer::UnadviseShutdown(std::uint32_t cookie) {
    const char* method = "IConnectionPoint<IOPCShutdown>::Unadvise";
    return Traced(method, shutdownSinks_.Remove(cookie) ? S_OK : CONNECT_E_NOCONNECTION);
}

int OPCServer::RequestClientShutdown(const std::string& reason) {
    // Held through the request, which waits for the client's answer: an Unadvise meanwhile
    // only ends the connection.
    std::shared_ptr<IOPCShutdown> target;
    for (const auto& sink : shutdownSinks_.Sinks()) {
        target = QuerySink(sink, &IClientSink::QueryShutdown);
        if (target) break;
    }
    HRESULT hr = S_FALSE;
    if (target) {
        Trace("Calling IOPCShutdown::ShutdownRequest on a DA client");
        hr = target->ShutdownRequest(reason);
    }
    TraceResult("Called DA client(s) to shutdown server", hr, true);
    return hr;
}

}  // namespace velk
