#pragma once
// A group's asynchronous requests from the call to the end of their workers: the list of
// waiting requests (the newest first), the count of outstanding ones, the 1.0 transaction
// counter, and the table's reference on a removed group that waits for its last request.
// Guarded by the group's item lock, which every caller holds. Each request holds a place in
// the client's bound on outstanding requests until it finished or was dropped.
#include <cstdint>
#include <deque>
#include <memory>

#include "opc/client_quota.h"
#include "opcda/async_request.h"

namespace velk {

class OPCGroup;

class AsyncRequestQueue {
  public:
    explicit AsyncRequestQueue(std::shared_ptr<ClientQuota> quota) : quota_(std::move(quota)) {}
    ~AsyncRequestQueue() { DropWaiting(); }
    AsyncRequestQueue(const AsyncRequestQueue&) = delete;
    AsyncRequestQueue& operator=(const AsyncRequestQueue&) = delete;

    // Takes a place in the client's bound (no lock needed); false when it is full.
    bool Reserve();
    // Queues a request with a place reserved; it is outstanding until Finish.
    void Push(std::unique_ptr<ASyncRequest> request);
    // Takes back a request whose worker could not be started, with its place.
    void Withdraw(const ASyncRequest* request);
    // The oldest waiting request, or null.
    std::unique_ptr<ASyncRequest> TakeOldest();
    // Marks the waiting 2.0 request with that cancel ID; false when there is none.
    bool Cancel(std::uint32_t cancelID);
    std::uint32_t NextTransactionID() { return nextTransactionID_++; }
    // Deletes the waiting requests unserved (the group goes), giving their places back.
    void DropWaiting();

    // One request ended. Returns the table's reference of a removed group whose last
    // request it was, to be released after the item lock.
    std::shared_ptr<OPCGroup> Finish();
    // Marks the group removed; returns the reference to release now, or keeps it while
    // requests are outstanding.
    std::shared_ptr<OPCGroup> MarkRemoved(std::shared_ptr<OPCGroup> tableReference);
    bool IsRemoved() const { return removed_; }
    std::uint32_t Outstanding() const { return outstanding_; }

  private:
    std::shared_ptr<ClientQuota> quota_;
    std::deque<std::unique_ptr<ASyncRequest>> waiting_;  // newest at the front
    std::uint32_t outstanding_ = 0;
    std::uint32_t nextTransactionID_ = 2;
    bool removed_ = false;
    std::shared_ptr<OPCGroup> pendingTableReference_;
};

}  // namespace velk
