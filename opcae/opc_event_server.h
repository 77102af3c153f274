#pragma once
// The AE server object, one per client connection: the event space queries, subscription
// and area browser creation, acknowledgement, and the distribution of every alarm record to
// its active subscriptions.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "opc/opc_common.h"
#include "opc/opc_result.h"
#include "opc/opc_shutdown.h"
#include "opc/server_objects.h"
#include "opc/sink_connections.h"
#include "opcae/ae_server_context.h"
#include "opcae/opc_ae_types.h"
#include "platform/timed_pass_pool.h"

namespace velk {

class AeEventSpace;
class OPCEventAreaBrowser;
class OPCEventSubscription;

// The condition state record of GetConditionState; never filled (conditions are not kept
// as a database of their own).
struct OPCConditionState;

class OPCEventServer final : public IAEServerObject, public IOPCCommon {
  public:
    // Joins the registry's AE server list (counting as a client); start and last update
    // times are now.
    explicit OPCEventServer(AeServerContext context);
    // Leaves the list and stops every subscription.
    ~OPCEventServer() override;
    OPCEventServer(const OPCEventServer&) = delete;
    OPCEventServer& operator=(const OPCEventServer&) = delete;

    // IOPCCommon.
    HRESULT SetLocaleID(std::uint32_t locale) override;
    HRESULT GetLocaleID(std::uint32_t* locale) override;
    HRESULT QueryAvailableLocaleIDs(std::vector<std::uint32_t>* locales) override;
    HRESULT GetErrorString(HRESULT code, std::string* text) override;
    HRESULT SetClientName(const std::string& name) override { return SetClientName(name.c_str()); }
    // A null name is refused with E_INVALIDARG.
    HRESULT SetClientName(const char* name);

    // IOPCEventServer.
    HRESULT GetStatus(OPCEventServerStatus* status);
    // Result OPC_S_INVALIDMAXSIZE when the maximum size was revised, else
    // OPC_S_INVALIDBUFFERTIME when the buffer time was; E_INVALIDARG for a null output.
    HRESULT CreateEventSubscription(bool active, std::uint32_t bufferTime, std::uint32_t maxSize,
                                    std::uint32_t clientHandle,
                                    std::shared_ptr<OPCEventSubscription>* subscription,
                                    std::uint32_t* revisedBufferTime,
                                    std::uint32_t* revisedMaxSize);
    HRESULT QueryAvailableFilters(std::uint32_t* filterMask);
    HRESULT QueryEventCategories(std::uint32_t eventTypes, std::vector<std::uint32_t>* ids,
                                 std::vector<std::string>* descriptions);
    HRESULT QueryConditionNames(std::uint32_t category, std::vector<std::string>* names);
    HRESULT QuerySubConditionNames(const char* conditionName, std::vector<std::string>* names);
    HRESULT QuerySourceConditions(const char* source, std::vector<std::string>* names);
    HRESULT QueryEventAttributes(std::uint32_t category, std::vector<std::uint32_t>* ids,
                                 std::vector<std::string>* descriptions,
                                 std::vector<std::uint16_t>* types);
    HRESULT TranslateToItemIDs();
    HRESULT GetConditionState(const char* source, const char* conditionName,
                              std::uint32_t attributeCount, const std::uint32_t* attributeIds,
                              OPCConditionState** state);
    HRESULT EnableConditionByArea(std::uint32_t count, const std::string* areas);
    HRESULT EnableConditionBySource(std::uint32_t count, const std::string* sources);
    HRESULT DisableConditionByArea(std::uint32_t count, const std::string* areas);
    HRESULT DisableConditionBySource(std::uint32_t count, const std::string* sources);
    // Acknowledges tag and device conditions by cookie; errors receives one result per
    // entry. E_INVALIDARG for a null error list or acknowledger, no entries, or a cookie of
    // no tag or device alarm (the call stops at that entry).
    HRESULT AckCondition(const std::vector<AckConditionEntry>& entries, const char* acknowledgerId,
                         const char* comment, std::vector<HRESULT>* errors);
    HRESULT CreateAreaBrowser(std::unique_ptr<OPCEventAreaBrowser>* browser);

    // IOPCEventServer2 (present, not offered to clients).
    HRESULT EnableConditionByArea2(std::uint32_t count, const std::string* areas,
                                   std::vector<HRESULT>* errors);
    HRESULT DisableConditionByArea2(std::uint32_t count, const std::string* areas,
                                    std::vector<HRESULT>* errors);
    HRESULT EnableConditionBySource2(std::uint32_t count, const std::string* sources,
                                     std::vector<HRESULT>* errors);
    HRESULT DisableConditionBySource2(std::uint32_t count, const std::string* sources,
                                      std::vector<HRESULT>* errors);
    HRESULT GetEnableStateByArea(std::uint32_t count, const std::string* areas,
                                 std::vector<bool>* enabled, std::vector<bool>* effective,
                                 std::vector<HRESULT>* errors);
    HRESULT GetEnableStateBySource(std::uint32_t count, const std::string* sources,
                                   std::vector<bool>* enabled, std::vector<bool>* effective,
                                   std::vector<HRESULT>* errors);

    // The IOPCShutdown connection point.
    HRESULT AdviseShutdown(std::shared_ptr<IOPCShutdown> sink, std::uint32_t* cookie);
    HRESULT UnadviseShutdown(std::uint32_t cookie);

    // IAEServerObject: the first shutdown connection is asked to disconnect; S_FALSE when
    // there is none.
    int RequestClientShutdown(const std::string& reason) override;
    // Copies the record into every active subscription's queue.
    void DistributeEvent(const BEvent& event) override;

    // The client released a subscription: it leaves the list (and ends when no other
    // reference holds it).
    void ReleaseSubscription(const OPCEventSubscription* subscription);
    std::size_t SubscriptionCount() const override;
    const std::string& ClientName() const { return clientName_; }
    FileTime LastUpdateTime() const { return lastUpdate_->load(); }

  private:
    FileTime Now() const;
    const AeEventSpace& Space() const;
    HRESULT Acknowledge(const AckConditionEntry& entry, const std::string& acknowledger,
                        FileTime when, HRESULT& entryResult);
    void Distribute(const BEvent& record);

    AeServerContext context_;
    // The delivery threads this object made for itself (none when the context brought
    // them); stopped with the object.
    std::shared_ptr<TimedPassPool> ownDeliveryPool_;
    FileTime startTime_ = 0;
    std::shared_ptr<std::atomic<FileTime>> lastUpdate_;
    std::string clientName_;

    // The client holds its subscriptions; the list only refers to them, so a subscription
    // ends with the client's last reference even when the release is not reported.
    mutable std::recursive_mutex subscriptionLock_;  // subscription-list lock
    std::vector<std::weak_ptr<OPCEventSubscription>> subscriptions_;

    SinkConnections<IOPCShutdown> shutdownConnections_;
};

// GetErrorString's texts for the codes the AE objects return.
std::string AeErrorText(HRESULT code);

}  // namespace velk
