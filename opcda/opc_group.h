#pragma once
// A DA group: the client's items, synchronous and asynchronous reads and writes, the update
// cycle that polls the devices of its items, and the 2.0 and 1.0 notifications. The group
// is the OPC face; its parts are classes of their own: the item table (GroupItemTable), the
// request queue (AsyncRequestQueue, served by the launcher's workers), the connections
// (DataCallbackPoint, AdviseConnections) and the update cycles, passes on the shared update
// pool (TimedPassPool), one at a time and in order. Its methods
// are implemented in opc_group.cpp (state, items, synchronous I/O, update cycle),
// opc_group_async.cpp and opc_group_notify.cpp (senders, data object, connection point).
//
// Locking: the item lock guards items, topics, requests and counters and is taken before
// TagDataLock; the advise lock may be taken while the item lock is held; the connection
// lock only after the item lock was released. No client sink is called and no device is
// read or written with the item lock held: what an exchange needs is taken under the lock,
// the exchange runs without it, and its results are stored under it again.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "opc/client_quota.h"
#include "opc/opc_result.h"
#include "opc/update_timing.h"
#include "opc/worker_launcher.h"
#include "opcda/async_request.h"
#include "opcda/async_request_queue.h"
#include "opcda/client_sinks.h"
#include "opcda/copc_item.h"
#include "opcda/group_connections.h"
#include "opcda/group_item_table.h"
#include "opcda/o_topic.h"
#include "opcda/opc_da_types.h"
#include "platform/timed_pass_pool.h"

namespace velk {

class IClock;
struct ModelLocks;
class ITagIO;
class OPCServer;
class CEnumItemAttributes;

struct GroupServices {
    IClock* clock = nullptr;
    ITagIO* tagIO = nullptr;
    bool changelessUpdate = false;
    IWorkerLauncher* launcher = nullptr;  // the asynchronous requests' workers
    // The update cycle's device reads; null: read one topic after another in the update
    // pass (or the caller of RunUpdateCycle).
    IDeviceWork* deviceReads = nullptr;
    // Where the update cycles run (StartUpdates); kept alive by workersAlive.
    TimedPassPool* updates = nullptr;
    // What the launchers above live in, when the group is to keep it alive.
    std::shared_ptr<void> workersAlive;
    // The group's unit of the client's bound on groups, given back when the group goes.
    std::shared_ptr<void> place;
    // The client's bounds on items and outstanding requests; null: none.
    std::shared_ptr<ClientQuota> items;
    std::shared_ptr<ClientQuota> requests;
    // The document's TreeLock and TagDataLock; required.
    ModelLocks* locks = nullptr;
    // The owner's finder of item IDs (device name, then the path below it); TreeLock held.
    std::function<OModbusTag*(const std::string& itemID, ODevice** device)> findItem;
};

class OPCGroup : public std::enable_shared_from_this<OPCGroup> {
  public:
    // The fastest update rate a group is given (ms); a faster request is revised to it.
    static constexpr std::uint32_t kMinimumUpdateRate = 10;

    OPCGroup(GroupServices services, std::weak_ptr<OPCServer> owner,
             std::shared_ptr<std::atomic<FileTime>> ownerLastUpdate, std::uint32_t serverHandle);
    // Ends the update cycles (waiting at most 5000 ms for one in progress), drops waiting
    // requests and items.
    ~OPCGroup();
    OPCGroup(const OPCGroup&) = delete;
    OPCGroup& operator=(const OPCGroup&) = delete;

    // Initialisation by the owner's AddGroup (rate raised to 10 ms).
    void Initialise(std::string name, bool active, std::uint32_t requestedRate,
                    std::uint32_t clientHandle, std::int32_t timeBias, float deadband,
                    std::uint32_t lcid);
    // Registers the update cycles on the update pool, the first at once; false when the pool
    // takes no more (stopping, or without any thread).
    bool StartUpdates();

    // Group state management.
    HRESULT GetState(std::uint32_t* updateRate, bool* active, std::string* name,
                     std::int32_t* timeBias, float* deadband, std::uint32_t* lcid,
                     std::uint32_t* hClientGroup, std::uint32_t* hServerGroup) const;
    HRESULT SetState(const std::uint32_t* requestedRate, std::uint32_t* revisedRate,
                     const bool* active, const std::int32_t* timeBias, const float* deadband,
                     const std::uint32_t* lcid, const std::uint32_t* hClientGroup);
    // E_FAIL for a null name, OPC_E_DUPLICATENAME for a name another group of the owner has.
    HRESULT SetName(const std::string* name);
    // An empty, inactive copy of the state, made through the owner's AddGroup.
    HRESULT CloneGroup(const std::string* name, std::shared_ptr<OPCGroup>* clone);
    HRESULT GetPublicState(bool* isPublic) const;
    HRESULT MoveToPublic();

    // Item management; S_FALSE when any item failed. An item past the client's bound on
    // items fails with E_OUTOFMEMORY.
    HRESULT AddItems(const std::vector<OPCITEMDEF>& items, std::vector<OPCITEMRESULT>& results,
                     std::vector<HRESULT>& errors);
    HRESULT ValidateItems(const std::vector<OPCITEMDEF>& items, bool blobUpdate,
                          std::vector<OPCITEMRESULT>& results, std::vector<HRESULT>& errors);
    HRESULT RemoveItems(const std::vector<std::uint32_t>& handles, std::vector<HRESULT>& errors);
    HRESULT SetActiveState(const std::vector<std::uint32_t>& handles, bool active,
                           std::vector<HRESULT>& errors);
    HRESULT SetClientHandles(const std::vector<std::uint32_t>& handles,
                             const std::vector<std::uint32_t>& clientHandles,
                             std::vector<HRESULT>& errors);
    HRESULT SetDatatypes(const std::vector<std::uint32_t>& handles,
                         const std::vector<VarType>& types, std::vector<HRESULT>& errors);
    HRESULT CreateEnumerator(std::unique_ptr<CEnumItemAttributes>* enumerator);

    // Synchronous I/O. The devices are read and written without the item lock held; a
    // write checks every handle before it writes any item.
    HRESULT Read(std::uint32_t source, const std::vector<std::uint32_t>& handles,
                 std::vector<OPCITEMSTATE>& states, std::vector<HRESULT>& errors);
    HRESULT Write(const std::vector<std::uint32_t>& handles, const std::vector<Variant>& values,
                  std::vector<HRESULT>& errors);

    // Asynchronous I/O returns at once; beyond the client's bound on outstanding requests a
    // call fails with E_OUTOFMEMORY.
    // 1.0 asynchronous I/O: the transaction ID comes from the group's counter.
    HRESULT AsyncRead(std::uint32_t connection, std::uint32_t source,
                      const std::vector<std::uint32_t>& handles, std::uint32_t* transactionID,
                      std::vector<HRESULT>& errors);
    HRESULT AsyncWrite(std::uint32_t connection, const std::vector<std::uint32_t>& handles,
                       const std::vector<Variant>& values, std::uint32_t* transactionID,
                       std::vector<HRESULT>& errors);
    HRESULT AsyncRefresh(std::uint32_t connection, std::uint32_t source,
                         std::uint32_t* transactionID);
    HRESULT AsyncCancel(std::uint32_t transactionID);

    // 2.0 asynchronous I/O: the client's transaction ID, a process-wide cancel ID.
    HRESULT Read2(const std::vector<std::uint32_t>& handles, std::uint32_t transactionID,
                  std::uint32_t* cancelID, std::vector<HRESULT>& errors);
    HRESULT Write2(const std::vector<std::uint32_t>& handles, const std::vector<Variant>& values,
                   std::uint32_t transactionID, std::uint32_t* cancelID,
                   std::vector<HRESULT>& errors);
    HRESULT Refresh2(std::uint32_t source, std::uint32_t transactionID, std::uint32_t* cancelID);
    HRESULT Cancel2(std::uint32_t cancelID);
    HRESULT SetEnable(bool enable);
    HRESULT GetEnable(bool* enable) const;

    // 1.0 data object.
    // The connection holds the sink (so does every send to it in progress).
    HRESULT DAdvise(const FORMATETC* format, std::uint32_t flags,
                    std::shared_ptr<IAdviseSink10> sink, std::uint32_t* connection);
    HRESULT DUnadvise(std::uint32_t connection);
    HRESULT EnumDAdvise(std::vector<AdviseConnection>* connections) const;
    HRESULT QueryGetData(const FORMATETC* format) const;
    HRESULT GetData(const FORMATETC* format, std::vector<std::uint8_t>* stream);
    HRESULT GetDataHere();
    HRESULT GetCanonicalFormatEtc();
    HRESULT SetData();
    HRESULT EnumFormatEtc();

    // The IOPCDataCallback connection point.
    HRESULT AdviseCallback(std::shared_ptr<IClientSink> sink, std::uint32_t* cookie);
    HRESULT UnadviseCallback(std::uint32_t cookie);

    // Groups constructed and not yet completely destroyed, in the whole process. A group
    // that its own update pass or worker holds at the moment the client lets go is
    // destroyed on that thread; whoever tears down the tag I/O waits for this to reach 0.
    static std::size_t LiveGroups();
    // Waits up to the time-out until LiveGroups() is 0; false when groups are still live.
    static bool WaitUntilNoneLive(std::chrono::milliseconds timeout);

    // One update cycle, on the caller's thread (a host that runs the cycles itself): the
    // topics are read without the item lock, a topic whose earlier read still runs is not
    // read again, and the cycle waits for its reads at most one update period. periodStartTick:
    // the tick count at which the cycle's update period began (the update pass's grid
    // point); without it the cycle takes no answer of a read issued before it was called.
    void RunUpdateCycle(std::optional<std::uint32_t> periodStartTick = std::nullopt);

    // The owner's bookkeeping.
    std::uint32_t ServerHandle() const { return serverHandle_; }
    std::string Name() const;
    // Replaces the name; the owner checks uniqueness under its table lock.
    void SetNameUnchecked(std::string name);
    // The tag of an item, or null for a handle that is not an item.
    OModbusTag* TagOf(std::uint32_t handle) const;
    // Marks the group removed; keeps the table's reference while requests are outstanding.
    void MarkRemoved(std::shared_ptr<OPCGroup> tableReference);
    bool IsRemoved() const;
    std::size_t ItemCount() const;
    std::uint32_t OutstandingRequests() const;
    // Attributes of up to count items from the index-th of the item table on.
    std::vector<OPCITEMATTRIBUTES> ItemAttributes(std::size_t index, std::size_t count) const;

  private:
    using ItemLock = std::unique_lock<std::recursive_mutex>;

    struct CycleReads;
    // Starts the reads of the topics without the item lock: on the devices' readers when
    // there are, else one after another here; the last read to end wakes the update pass
    // (when a waker is given).
    std::shared_ptr<CycleReads> LaunchReads(std::vector<TopicRead> reads, std::uint32_t rate,
                                            std::optional<std::uint32_t> periodStartTick,
                                            TimedPassPool::Waker waker);
    // The second half of a cycle: compares the active items with their tags and sends the
    // changes.
    void CompareAndSend(std::uint32_t rate);
    // One pass on the update pool: starts a cycle (its reads), or finishes the cycle whose
    // reads have ended or have had their period; returns the wait before the next pass.
    std::chrono::milliseconds UpdatePass(bool woken);
    std::chrono::milliseconds FinishCycle();
    HRESULT LookUp(const OPCITEMDEF& def, OPCITEMRESULT& result, OModbusTag** tag,
                   ODevice** device) const;
    ItemValueList BuildItemValues(const std::vector<COPCItem*>& items) const;

    // Senders; each releases the item lock before any sink is called.
    void SendDataChange(ItemLock& lock);
    void SendNotification(ItemLock& lock, std::uint32_t transactionID, bool readComplete);
    // Sends a 1.0 stream to one connection; the item lock is released before the sink call.
    void SendStream(ItemLock& lock, const AdviseConnection& connection, std::uint32_t format,
                    std::uint32_t transactionID, const ASyncRequest* writeRequest);

    // Asynchronous requests.
    HRESULT Submit(std::unique_ptr<ASyncRequest> request);
    // The 1.0 refresh without its trace line (also DAdvise's initial refresh).
    HRESULT QueueRefresh(std::uint32_t connection, std::uint32_t source,
                         std::uint32_t* transactionID);
    // What a request exchanges with the devices, decided under the item lock.
    struct RequestPlan {
        struct Read {
            ItemTarget target;
            bool fromDevice = false;
            bool outOfService = false;
        };
        std::vector<Read> reads;         // a read's items
        std::vector<ItemTarget> writes;  // a write's items, one per handle
        std::vector<TopicRead> topics;   // a refresh's topics
        bool refreshed = false;          // a refresh of an active group
        bool cancelled = false;          // completes as cancelled, without an exchange
    };
    // A request whose exchanges run; completed in order when its last exchange has ended.
    struct PendingRequest;

    // Takes the oldest waiting request, plans it and starts its exchanges: on the devices'
    // readers when there are (the worker is free again at once), else here.
    void ServeOneRequest();
    RequestPlan PlanRequest(ASyncRequest& request);
    void StartExchanges(const std::shared_ptr<PendingRequest>& pending);
    // Stores the results of the exchanges; the item lock is held.
    void StoreResults(ASyncRequest& request, const RequestPlan& plan);
    // A request's exchanges have ended: the group's completions go out in the order their
    // requests were taken, so a request waits for the completions of earlier ones (not
    // for their exchanges).
    void CompleteInOrder(std::uint64_t ticket, std::unique_ptr<ASyncRequest> request,
                         RequestPlan plan);
    void CompleteRequest(ItemLock& lock, ASyncRequest& request);
    bool HasCallback() const { return callbacks_.Any(); }

    // The group's wake event: ends the wait between cycles, or the one after the cycle in
    // progress.
    void WakeUpdates();

    // Counts the group among the live ones from before its first member until after its
    // last: a group destroyed on an update thread may still be releasing the workers
    // when its destructor body has ended, and the waits for no live group must see that.
    struct LiveMark {
        LiveMark();
        ~LiveMark();
        LiveMark(const LiveMark&) = delete;
        LiveMark& operator=(const LiveMark&) = delete;
    };
    LiveMark live_;  // first: destroyed last

    GroupServices services_;
    std::weak_ptr<OPCServer> owner_;
    std::shared_ptr<std::atomic<FileTime>> ownerLastUpdate_;
    const std::uint32_t serverHandle_;

    mutable std::mutex nameLock_;  // leaf lock: the owner reads names for uniqueness
    std::string name_;
    std::atomic<bool> active_{false};
    std::atomic<std::uint32_t> updateRate_{1000};
    std::atomic<std::uint32_t> clientGroupHandle_{0};
    std::atomic<std::int32_t> timeBias_{0};
    std::atomic<float> deadband_{0.0f};
    std::atomic<std::uint32_t> lcid_{0};
    std::atomic<bool> callbackEnable_{true};
    std::atomic<bool> running_{true};
    bool sendPending_ = false;

    // The item lock guards the item table, the request queue and sendPending_.
    mutable std::recursive_mutex itemLock_;
    GroupItemTable table_;
    AsyncRequestQueue requests_{services_.requests};
    // The order of completions (item lock): tickets given as requests are taken, the
    // completions of the tickets whose exchanges ended, and whether a thread sends them.
    struct CompletionOrder {
        struct Ended {
            std::unique_ptr<ASyncRequest> request;
            RequestPlan plan;
        };
        std::uint64_t nextTicket = 0;
        std::uint64_t nextToComplete = 0;
        bool completing = false;
        std::map<std::uint64_t, Ended> ended;
    };
    CompletionOrder order_;

    // The 2.0 connection point and the 1.0 advise holder, each with its own lock.
    DataCallbackPoint callbacks_;
    AdviseConnections advises_;

    // The update cycles with their wake event. A pass holds the group only while it runs;
    // between the start of a cycle and its end (the reads) nothing of the pool is held.
    std::unique_ptr<TimedPassPool::Registration> updates_;
    std::atomic<bool> woken_{false};
    struct CycleInHand;
    std::unique_ptr<CycleInHand> cycle_;  // the passes' alone, as below
    UpdatePeriods periods_;
};

}  // namespace velk
