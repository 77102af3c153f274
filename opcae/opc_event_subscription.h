#pragma once
// One AE subscription: its queue of alarm records, filter, returned attributes, state and
// the delivery pass that turns records into events and calls the client's sinks in
// batches of at most the maximum size, once per buffer time. The passes run on the delivery
// threads that the server objects share (TimedPassPool), never two of one subscription at
// a time, so its events keep their order.
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "model/b_event.h"
#include "opc/sink_connections.h"
#include "opcae/ae_event_builder.h"
#include "opcae/ae_server_context.h"
#include "opcae/opc_event_sink.h"
#include "platform/hresult.h"
#include "platform/timed_pass_pool.h"

namespace velk {

class OPCEventSubscription {
  public:
    static constexpr std::uint32_t kMaxEventsPerCall = 1024;
    static constexpr std::uint32_t kDefaultBufferTime = 1000;
    static constexpr std::size_t kCategoryCount = 6;

    // The creation rules: a buffer time of 0 becomes 1000; a maximum size of 0 or above
    // 1023 becomes 1024.
    static std::uint32_t ReviseBufferTime(std::uint32_t requested);
    static std::uint32_t ReviseMaxSize(std::uint32_t requested);

    // Creates the subscription with revised parameters and registers its delivery pass
    // with the context's delivery threads when the context asks for it. ownerLastUpdate is the
    // owner's last update time.
    OPCEventSubscription(const AeServerContext& context,
                         std::shared_ptr<std::atomic<FileTime>> ownerLastUpdate, bool active,
                         std::uint32_t bufferTime, std::uint32_t maxSize,
                         std::uint32_t clientHandle);
    // Ends the delivery passes, drops the queued records and the connections.
    ~OPCEventSubscription();
    OPCEventSubscription(const OPCEventSubscription&) = delete;
    OPCEventSubscription& operator=(const OPCEventSubscription&) = delete;

    // IOPCEventSubscriptionMgt. Array arguments are (count, pointer) as the client sends
    // them; null pointers are argument errors where the client interface says so.
    HRESULT SetFilter(std::uint32_t eventTypes, std::uint32_t categoryCount,
                      const std::uint32_t* categories, std::uint32_t lowSeverity,
                      std::uint32_t highSeverity, std::uint32_t areaCount, const std::string* areas,
                      std::uint32_t sourceCount, const std::string* sources);
    HRESULT GetFilter(std::uint32_t* eventTypes, std::vector<std::uint32_t>* categories,
                      std::uint32_t* lowSeverity, std::uint32_t* highSeverity,
                      std::vector<std::string>* areas, std::vector<std::string>* sources) const;
    HRESULT SelectReturnedAttributes(std::uint32_t category, std::uint32_t count,
                                     const std::uint32_t* attributeIds);
    HRESULT GetReturnedAttributes(std::uint32_t category,
                                  std::vector<std::uint32_t>* attributeIds) const;
    // Sends the present conditions to one connection, synchronously; E_INVALIDARG for a
    // cookie that is not one of this subscription's connections.
    HRESULT Refresh(std::uint32_t connection);
    HRESULT CancelRefresh(std::uint32_t connection);
    HRESULT GetState(bool* active, std::uint32_t* bufferTime, std::uint32_t* maxSize,
                     std::uint32_t* clientHandle) const;
    HRESULT SetState(const bool* active, const std::uint32_t* bufferTime,
                     const std::uint32_t* maxSize, std::uint32_t clientHandle,
                     std::uint32_t* revisedBufferTime, std::uint32_t* revisedMaxSize);
    // IOPCEventSubscriptionMgt2.
    HRESULT SetKeepAlive(std::uint32_t keepAliveTime, std::uint32_t* revised);
    HRESULT GetKeepAlive(std::uint32_t* keepAliveTime) const;

    // The IOPCEventSink connection point.
    HRESULT Advise(std::shared_ptr<IOPCEventSink> sink, std::uint32_t* cookie);
    HRESULT Unadvise(std::uint32_t cookie);

    // Appends a copy of a record to the queue (the owner checks that the subscription is
    // active). A full queue drops its oldest record.
    void Enqueue(const BEvent& record);
    bool IsActive() const { return active_.load(); }
    // Ends the delivery passes (the owner is going); idempotent.
    void Stop() { StopDelivery(); }
    // True when the subscription was to deliver on the pool and the pool refused it (it
    // was stopping, or had no thread).
    bool DeliveryRefused() const { return deliveryRefused_; }

    // One delivery pass: takes up to the maximum size of records, sends the
    // events that pass the filter (or an empty keep-alive call) and returns how long to
    // wait, in milliseconds, before the next pass.
    std::uint32_t DeliverOnce();

    std::size_t QueueLength() const;
    // Records dropped because the queue was full.
    std::uint64_t DroppedRecords() const { return dropped_.load(); }
    std::size_t QueueCapacity() const { return capacity_; }

  private:
    struct Filter {
        std::uint32_t eventTypes = kAllEventTypes;
        std::uint32_t categories = kAllCategoriesFilter;
        std::uint32_t low = 1;
        std::uint32_t high = 1000;
        std::vector<std::string> areas;
        // Selected attribute indexes per category index, in table order.
        std::array<std::vector<std::uint32_t>, kCategoryCount> attributes;
    };
    void StopDelivery();
    bool BuildForDelivery(const BEvent& record, const Filter& filter, const AeEventBuilder& builder,
                          OnEventStruct& out) const;
    bool BuildFiltered(BuiltEvent& built, const Filter& filter, OnEventStruct& out) const;
    std::vector<std::uint32_t> AttributeIds(const Filter& filter, int categoryIndex) const;
    void AppendLocked(std::unique_ptr<BEvent> record);
    void QueueDeviceConditions();
    AeEventBuilder Builder() const;
    FileTime Now() const;
    void TouchOwner();

    AeServerContext context_;
    std::shared_ptr<std::atomic<FileTime>> ownerLastUpdate_;
    const AeEventSpace& space_;

    std::atomic<bool> active_;
    std::atomic<std::uint32_t> bufferTime_;
    std::atomic<std::uint32_t> maxSize_;
    std::atomic<std::uint32_t> keepAlive_{0};
    std::atomic<std::uint32_t> clientHandle_;
    std::atomic<bool> running_{false};
    std::atomic<bool> refreshCancel_{false};

    mutable std::mutex filterLock_;  // the delivery thread reads while clients write
    Filter filter_;

    mutable std::mutex queueLock_;  // subscription queue lock
    std::deque<std::unique_ptr<BEvent>> queue_;
    std::size_t capacity_;
    std::atomic<std::uint64_t> dropped_{0};
    bool overflowing_ = false;   // inside an overflow episode (queue lock)
    std::uint32_t backlog_ = 0;  // delivery passes only (one at a time)

    // The IOPCEventSink connections; the delivery thread holds the sinks it calls.
    SinkConnections<IOPCEventSink> connections_;

    // The delivery passes on the shared threads; null when none run.
    std::mutex deliveryLock_;
    std::unique_ptr<TimedPassPool::Registration> delivery_;
    bool deliveryRefused_ = false;
};

}  // namespace velk
