#include "opcae/opc_event_server.h"

#include <algorithm>

#include "core/trace_file.h"
#include "model/ae_event_space.h"
#include "model/b_event.h"
#include "model/c_doc.h"
#include "model/o_device.h"
#include "opc/opc_call_trace.h"
#include "opc/opc_result.h"
#include "opcae/ae_event_thread.h"
#include "opcae/b_ack_msg.h"
#include "opcae/opc_event_area_browser.h"
#include "opcae/opc_event_subscription.h"
#include "platform/clock.h"
#include "platform/text.h"

namespace velk {

using opc_calls::Traced;

namespace {

constexpr const char* kServer = "Called IOPCEventServer::";
constexpr const char* kServer2 = "Called IOPCEventServer2::";
constexpr const char* kCommon = "Called IOPCCommon::";
constexpr std::size_t kMaxAcknowledgerLength = 1024;

// The first characters of a UTF-8 text, at most limit code points.
std::string CutToCharacters(const std::string& text, std::size_t limit) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
        if (count == limit) return text.substr(0, i);
        ++count;
    }
    return text;
}

bool ValidEventTypes(std::uint32_t types) { return types != 0 && (types & ~kAllEventTypes) == 0; }

}  // namespace

std::string AeErrorText(HRESULT code) {
    switch (code) {
        case E_INVALIDARG:
            return "Invalid inlet argument value";
        case OPC_E_INVALIDBRANCHNAME:
            return "The string was not recognized as an area name";
        case OPC_E_INVALIDTIME:
            return "The time does not match the latest active time";
        default:
            return "Untranslated DCOM error message!";
    }
}

OPCEventServer::OPCEventServer(AeServerContext context)
    : context_(std::move(context)), lastUpdate_(std::make_shared<std::atomic<FileTime>>(0)) {
    if (context_.startDeliveryThreads && !context_.deliveryPool) {
        // Without a class that shares its threads, this object's subscriptions share one.
        context_.deliveryPool =
            std::make_shared<TimedPassPool>("AeDelivery", 1, ThreadPriority::AboveNormal);
        ownDeliveryPool_ = context_.deliveryPool;
    }
    if (context_.registry) context_.registry->AddAEServer(this);
    startTime_ = Now();
    lastUpdate_->store(startTime_);
    Trace(context_.client.empty() ? std::string("OPC AE server object created")
                                  : "OPC AE server object created for " + context_.client);
}

OPCEventServer::~OPCEventServer() {
    if (context_.registry) context_.registry->RemoveAEServer(this);
    {
        std::lock_guard lock(subscriptionLock_);
        for (const auto& entry : subscriptions_)
            if (auto subscription = entry.lock()) subscription->Stop();
        subscriptions_.clear();
    }
    if (ownDeliveryPool_) ownDeliveryPool_->Stop();
    Trace("OPC AE server object destroyed");
}

FileTime OPCEventServer::Now() const { return context_.clock ? context_.clock->NowUtc() : 0; }

const AeEventSpace& OPCEventServer::Space() const {
    return context_.eventSpace ? *context_.eventSpace : context_.document->EventSpace();
}

// --- IOPCCommon -----------------------------------------------------------------------

HRESULT OPCEventServer::SetLocaleID(std::uint32_t locale) {
    return Traced(kCommon, "SetLocaleID", locale == kAeLocaleId ? S_OK : E_INVALIDARG);
}

HRESULT OPCEventServer::GetLocaleID(std::uint32_t* locale) {
    if (locale == nullptr) return Traced(kCommon, "GetLocaleID", E_INVALIDARG);
    *locale = kAeLocaleId;
    return Traced(kCommon, "GetLocaleID", S_OK);
}

HRESULT OPCEventServer::QueryAvailableLocaleIDs(std::vector<std::uint32_t>* locales) {
    if (locales == nullptr) return Traced(kCommon, "QueryAvailableLocaleIDs", E_INVALIDARG);
    *locales = {kAeLocaleId};
    return Traced(kCommon, "QueryAvailableLocaleIDs", S_OK);
}

HRESULT OPCEventServer::GetErrorString(HRESULT code, std::string* text) {
    if (text == nullptr) return Traced(kCommon, "GetErrorString", E_INVALIDARG);
    *text = AeErrorText(code);
    return Traced(kCommon, "GetErrorString", S_OK);
}

HRESULT OPCEventServer::SetClientName(const char* name) {
    if (name == nullptr) return Traced(kCommon, "SetClientName", E_INVALIDARG);
    clientName_ = name;
    return Traced(kCommon, "SetClientName", S_OK);
}

// --- IOPCEventServer ------------------------------------------------------------------

HRESULT OPCEventServer::GetStatus(OPCEventServerStatus* status) {
    if (status == nullptr) return Traced(kServer, "GetStatus", E_INVALIDARG);
    status->startTime = startTime_;
    status->currentTime = Now();
    status->lastUpdateTime = lastUpdate_->load();
    status->serverState = OPC_STATUS_RUNNING;
    status->majorVersion = context_.versionMajor;
    status->minorVersion = context_.versionMinor;
    status->buildNumber = context_.versionBuild;
    status->vendorInfo = context_.vendorText;
    return Traced(kServer, "GetStatus", S_OK);
}

HRESULT OPCEventServer::CreateEventSubscription(bool active, std::uint32_t bufferTime,
                                                std::uint32_t maxSize, std::uint32_t clientHandle,
                                                std::shared_ptr<OPCEventSubscription>* subscription,
                                                std::uint32_t* revisedBufferTime,
                                                std::uint32_t* revisedMaxSize) {
    if (subscription == nullptr) return Traced(kServer, "CreateEventSubscription", E_INVALIDARG);
    std::shared_ptr<OPCEventSubscription> created;
    try {
        created = std::make_shared<OPCEventSubscription>(context_, lastUpdate_, active, bufferTime,
                                                         maxSize, clientHandle);
    } catch (const std::bad_alloc&) {
        return Traced(kServer, "CreateEventSubscription", E_OUTOFMEMORY);
    }
    if (created->DeliveryRefused()) return Traced(kServer, "CreateEventSubscription", E_FAIL);
    const std::uint32_t revisedTime = OPCEventSubscription::ReviseBufferTime(bufferTime);
    const std::uint32_t revisedSize = OPCEventSubscription::ReviseMaxSize(maxSize);
    {
        std::lock_guard lock(subscriptionLock_);
        subscriptions_.push_back(created);
    }
    *subscription = std::move(created);
    if (revisedBufferTime) *revisedBufferTime = revisedTime;
    if (revisedMaxSize) *revisedMaxSize = revisedSize;
    HRESULT result = S_OK;
    if (revisedSize != maxSize)
        result = OPC_S_INVALIDMAXSIZE;
    else if (revisedTime != bufferTime)
        result = OPC_S_INVALIDBUFFERTIME;
    return Traced(kServer, "CreateEventSubscription", result);
}

HRESULT OPCEventServer::QueryAvailableFilters(std::uint32_t* filterMask) {
    if (filterMask == nullptr) return Traced(kServer, "QueryAvailableFilters", E_INVALIDARG);
    *filterMask =
        OPC_FILTER_BY_EVENT | OPC_FILTER_BY_CATEGORY | OPC_FILTER_BY_SEVERITY | OPC_FILTER_BY_AREA;
    return Traced(kServer, "QueryAvailableFilters", S_OK);
}

HRESULT OPCEventServer::QueryEventCategories(std::uint32_t eventTypes,
                                             std::vector<std::uint32_t>* ids,
                                             std::vector<std::string>* descriptions) {
    if (!ValidEventTypes(eventTypes) || ids == nullptr || descriptions == nullptr)
        return Traced(kServer, "QueryEventCategories", E_INVALIDARG);
    ids->clear();
    descriptions->clear();
    for (const AeCategory& category : Space().Categories()) {
        if ((category.eventType & eventTypes) == 0) continue;
        ids->push_back(category.id);
        descriptions->push_back(category.description);
    }
    return Traced(kServer, "QueryEventCategories", S_OK);
}

HRESULT OPCEventServer::QueryConditionNames(std::uint32_t category,
                                            std::vector<std::string>* names) {
    const AeEventSpace& space = Space();
    const int index = space.CategoryIndex(category);
    if (names == nullptr || index < 0 ||
        space.Categories()[static_cast<std::size_t>(index)].eventType != OPC_CONDITION_EVENT)
        return Traced(kServer, "QueryConditionNames", E_INVALIDARG);
    const std::vector<std::uint16_t> conditions = space.ConditionsOfCategory(category);
    if (conditions.empty()) return Traced(kServer, "QueryConditionNames", E_INVALIDARG);
    names->clear();
    for (std::uint16_t condition : conditions) names->push_back(space.ConditionName(condition));
    return Traced(kServer, "QueryConditionNames", S_OK);
}

HRESULT OPCEventServer::QuerySubConditionNames(const char* conditionName,
                                               std::vector<std::string>* names) {
    if (conditionName == nullptr || *conditionName == '\0' || names == nullptr)
        return Traced(kServer, "QuerySubConditionNames", E_INVALIDARG);
    const int condition = Space().FindCondition(conditionName);
    if (condition < 0) return Traced(kServer, "QuerySubConditionNames", E_INVALIDARG);
    *names = Space().SubconditionNames(static_cast<std::uint16_t>(condition));
    return Traced(kServer, "QuerySubConditionNames", S_OK);
}

HRESULT OPCEventServer::QuerySourceConditions(const char* source, std::vector<std::string>* names) {
    if (source == nullptr || names == nullptr || context_.document == nullptr)
        return Traced(kServer, "QuerySourceConditions", E_INVALIDARG);
    const OModbusTag* tag =
        context_.document->FindTag(source, context_.document->Settings().areaDelimiter);
    if (tag == nullptr) return Traced(kServer, "QuerySourceConditions", E_INVALIDARG);
    const AeEventSpace& space = Space();
    *names = {space.ConditionName(tag->IsBool() ? AeEventSpace::kDiscreteTrip
                                                : AeEventSpace::kAnalogLevel)};
    return Traced(kServer, "QuerySourceConditions", S_OK);
}

HRESULT OPCEventServer::QueryEventAttributes(std::uint32_t category,
                                             std::vector<std::uint32_t>* ids,
                                             std::vector<std::string>* descriptions,
                                             std::vector<std::uint16_t>* types) {
    const AeEventSpace& space = Space();
    const int index = space.CategoryIndex(category);
    if (index < 0 || !ids || !descriptions || !types)
        return Traced(kServer, "QueryEventAttributes", E_INVALIDARG);
    ids->clear();
    descriptions->clear();
    types->clear();
    for (std::uint32_t id : space.Categories()[static_cast<std::size_t>(index)].attributeIds) {
        for (const AeAttribute& attribute : space.Attributes()) {
            if (attribute.id != id) continue;
            ids->push_back(attribute.id);
            descriptions->push_back(attribute.description);
            types->push_back(attribute.type);
        }
    }
    return Traced(kServer, "QueryEventAttributes", S_OK);
}

HRESULT OPCEventServer::TranslateToItemIDs() {
    return Traced(kServer, "TranslateToItemIDs", E_NOTIMPL);
}

HRESULT OPCEventServer::GetConditionState(const char* source, const char* conditionName,
                                          std::uint32_t attributeCount,
                                          const std::uint32_t* attributeIds,
                                          OPCConditionState** state) {
    if (source == nullptr || conditionName == nullptr || state == nullptr ||
        (attributeCount != 0 && attributeIds == nullptr))
        return Traced(kServer, "GetConditionState", E_INVALIDARG);
    *state = nullptr;
    return Traced(kServer, "GetConditionState", E_NOTIMPL);
}

namespace {
HRESULT ListCall(const char* prefix, const char* method, std::uint32_t count,
                 const std::string* list) {
    return Traced(prefix, method, (count == 0 || list == nullptr) ? E_INVALIDARG : E_NOTIMPL);
}
}  // namespace

HRESULT OPCEventServer::EnableConditionByArea(std::uint32_t count, const std::string* areas) {
    return ListCall(kServer, "EnableConditionByArea", count, areas);
}
HRESULT OPCEventServer::EnableConditionBySource(std::uint32_t count, const std::string* sources) {
    return ListCall(kServer, "EnableConditionBySource", count, sources);
}
HRESULT OPCEventServer::DisableConditionByArea(std::uint32_t count, const std::string* areas) {
    return ListCall(kServer, "DisableConditionByArea", count, areas);
}
HRESULT OPCEventServer::DisableConditionBySource(std::uint32_t count, const std::string* sources) {
    return ListCall(kServer, "DisableConditionBySource", count, sources);
}

// --- IOPCEventServer2 -----------------------------------------------------------------

namespace {
// The argument check of the version 2 methods; on success the outputs are emptied.
bool Version2Arguments(std::uint32_t count, const std::string* list, std::vector<HRESULT>* errors,
                       std::vector<bool>* enabled = nullptr, std::vector<bool>* effective = nullptr,
                       bool needsStates = false) {
    if (count == 0 || list == nullptr || errors == nullptr) return false;
    if (needsStates && (enabled == nullptr || effective == nullptr)) return false;
    errors->clear();
    if (enabled) enabled->clear();
    if (effective) effective->clear();
    return true;
}
}  // namespace

HRESULT OPCEventServer::EnableConditionByArea2(std::uint32_t count, const std::string* areas,
                                               std::vector<HRESULT>* errors) {
    return Traced(kServer2, "EnableConditionByArea2",
                  Version2Arguments(count, areas, errors) ? E_NOTIMPL : E_INVALIDARG);
}

HRESULT OPCEventServer::DisableConditionByArea2(std::uint32_t count, const std::string* areas,
                                                std::vector<HRESULT>* errors) {
    return Traced(kServer2, "DisableConditionByArea2",
                  Version2Arguments(count, areas, errors) ? E_NOTIMPL : E_INVALIDARG);
}

HRESULT OPCEventServer::EnableConditionBySource2(std::uint32_t count, const std::string* sources,
                                                 std::vector<HRESULT>* errors) {
    if (!Version2Arguments(count, sources, errors))
        return Traced(kServer2, "EnableConditionBySource2", E_INVALIDARG);
    return Traced(kServer2, "EnableConditionSource2", E_NOTIMPL);
}

HRESULT OPCEventServer::DisableConditionBySource2(std::uint32_t count, const std::string* sources,
                                                  std::vector<HRESULT>* errors) {
    if (!Version2Arguments(count, sources, errors))
        return Traced(kServer2, "DisableConditionBySource2", E_INVALIDARG);
    return Traced(kServer2, "DisableConditionSource2", E_NOTIMPL);
}

HRESULT OPCEventServer::GetEnableStateByArea(std::uint32_t count, const std::string* areas,
                                             std::vector<bool>* enabled,
                                             std::vector<bool>* effective,
                                             std::vector<HRESULT>* errors) {
    const bool ok = Version2Arguments(count, areas, errors, enabled, effective, true);
    return Traced(kServer2, "GetEnableStateByArea", ok ? E_NOTIMPL : E_INVALIDARG);
}

HRESULT OPCEventServer::GetEnableStateBySource(std::uint32_t count, const std::string* sources,
                                               std::vector<bool>* enabled,
                                               std::vector<bool>* effective,
                                               std::vector<HRESULT>* errors) {
    const bool ok = Version2Arguments(count, sources, errors, enabled, effective, true);
    return Traced(kServer2, "GetEnableStateBySource", ok ? E_NOTIMPL : E_INVALIDARG);
}

// --- acknowledgement ------------------------------------------------------------------

HRESULT OPCEventServer::Acknowledge(const AckConditionEntry& entry, const std::string& acknowledger,
                                    FileTime when, HRESULT& entryResult) {
    const AeEventSpace& space = Space();
    const int condition = space.FindCondition(entry.conditionName);
    if (condition < 0) {
        entryResult = E_INVALIDARG;
        return S_OK;
    }
    CDoc* document = context_.document;
    BEvent record;
    record.eventTime = when;
    record.activeTime = entry.activeTime;
    record.acknowledger = acknowledger;
    if (condition == AeEventSpace::kDeviceComm) {
        ODevice* device = nullptr;
        ODeviceAlarm* alarm =
            document ? document->FindDeviceAlarmById(entry.cookie, &device) : nullptr;
        if (alarm == nullptr || device == nullptr) return E_INVALIDARG;
        std::lock_guard tagData(document->Locks().tagData);
        alarm->Acknowledge(when);
        record.code = device->CodeOfAlarm(alarm);
        record.active = (alarm->lastStatus & record.code) == record.code ? 1 : 0;
        record.device = device;
    } else {
        OModbusTag* tag = document ? document->FindTagById(entry.cookie) : nullptr;
        if (tag == nullptr) return E_INVALIDARG;
        {
            // The evaluation changes the same state under this lock.
            std::lock_guard tagData(document->Locks().tagData);
            tag->Acknowledge(when);
            record.code = tag->subconditionIndex;
            record.active = tag->alarmState != 0 ? 1 : 0;
            record.valueText = tag->value.ToText();
        }
        record.tag = tag;
        record.device = tag->device;
        const bool redundancy = context_.redundancyEnabled && context_.redundancyEnabled();
        if (redundancy && context_.ackQueue)
            context_.ackQueue->AddAckMessage(std::make_unique<BAckMsg>(
                when, tag->GetFullPath(document->Settings().areaDelimiter)));
    }
    Distribute(record);
    entryResult = S_OK;
    return S_OK;
}

HRESULT OPCEventServer::AckCondition(const std::vector<AckConditionEntry>& entries,
                                     const char* acknowledgerId, const char* /*comment*/,
                                     std::vector<HRESULT>* errors) {
    if (errors == nullptr || acknowledgerId == nullptr || entries.empty())
        return Traced(kServer, "AckCondition", E_INVALIDARG);
    std::string acknowledger = CutToCharacters(acknowledgerId, kMaxAcknowledgerLength);
    if (acknowledger.empty()) acknowledger = "????";
    const FileTime when = Now();
    errors->assign(entries.size(), S_OK);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (Acknowledge(entries[i], acknowledger, when, (*errors)[i]) != S_OK)
            return Traced(kServer, "AckCondition", E_INVALIDARG);
    }
    return Traced(kServer, "AckCondition", S_OK);
}

void OPCEventServer::Distribute(const BEvent& record) {
    if (context_.distributor)
        context_.distributor->DistributeToAeServers(record);
    else
        DistributeEvent(record);
}

HRESULT OPCEventServer::CreateAreaBrowser(std::unique_ptr<OPCEventAreaBrowser>* browser) {
    if (browser == nullptr || context_.document == nullptr)
        return Traced(kServer, "CreateAreaBrowser", E_INVALIDARG);
    *browser = std::make_unique<OPCEventAreaBrowser>(*context_.document);
    return Traced(kServer, "CreateAreaBrowser", S_OK);
}

// --- shutdown connection point --------------------------------------------------------

HRESULT OPCEventServer::AdviseShutdown(std::shared_ptr<IOPCShutdown> sink, std::uint32_t* cookie) {
    const char* text = "Called IConnectionPoint<IOPCShutdown>::Advise";
    if (cookie == nullptr || !sink) {
        TraceResult(text, E_INVALIDARG, true);
        return E_INVALIDARG;
    }
    *cookie = shutdownConnections_.Add(std::move(sink));
    TraceResult(text, S_OK, true);
    return S_OK;
}

HRESULT OPCEventServer::UnadviseShutdown(std::uint32_t cookie) {
    const HRESULT result = shutdownConnections_.Remove(cookie) ? S_OK : CONNECT_E_NOCONNECTION;
    TraceResult("Called IConnectionPoint<IOPCShutdown>::Unadvise", result, true);
    return result;
}

int OPCEventServer::RequestClientShutdown(const std::string& reason) {
    const std::shared_ptr<IOPCShutdown> first = shutdownConnections_.First();
    HRESULT result = S_FALSE;
    if (first) {
        Trace("Calling IOPCShutdown::ShutdownRequest on an AE client");
        result = first->ShutdownRequest(reason);
    }
    TraceResult("Called AE client(s) to shutdown server", result, true);
    return result;
}

// --- distribution ---------------------------------------------------------------------

void OPCEventServer::DistributeEvent(const BEvent& event) {
    std::vector<std::shared_ptr<OPCEventSubscription>> held;
    {
        std::lock_guard lock(subscriptionLock_);
        // Subscriptions the client has let go leave the list here.
        std::erase_if(subscriptions_, [](const auto& entry) { return entry.expired(); });
        for (const auto& entry : subscriptions_) {
            auto subscription = entry.lock();
            if (!subscription) continue;
            if (subscription->IsActive()) subscription->Enqueue(event);
            held.push_back(std::move(subscription));
        }
    }
    // A subscription whose last reference was one of these ends here, outside the lock.
    held.clear();
    lastUpdate_->store(Now());
}

void OPCEventServer::ReleaseSubscription(const OPCEventSubscription* subscription) {
    std::lock_guard lock(subscriptionLock_);
    std::erase_if(subscriptions_, [&](const auto& entry) {
        auto held = entry.lock();
        return !held || held.get() == subscription;
    });
}

std::size_t OPCEventServer::SubscriptionCount() const {
    std::lock_guard lock(subscriptionLock_);
    return static_cast<std::size_t>(
        std::count_if(subscriptions_.begin(), subscriptions_.end(),
                      [](const auto& entry) { return !entry.expired(); }));
}

}  // namespace velk
