#include "opcda/async_request_queue.h"

#include <algorithm>

namespace velk {

void AsyncRequestQueue::DropWaiting() {
    if (quota_) quota_->Give(static_cast<std::uint32_t>(waiting_.size()));
    waiting_.clear();
}

bool AsyncRequestQueue::Reserve() { return !quota_ || quota_->TryTake(); }

void AsyncRequestQueue::Push(std::unique_ptr<ASyncRequest> request) {
    waiting_.push_front(std::move(request));
    ++outstanding_;
}

void AsyncRequestQueue::Withdraw(const ASyncRequest* request) {
    auto it = std::find_if(waiting_.begin(), waiting_.end(),
                           [request](const auto& r) { return r.get() == request; });
    if (it == waiting_.end()) return;
    waiting_.erase(it);
    --outstanding_;
    if (quota_) quota_->Give();
}

std::unique_ptr<ASyncRequest> AsyncRequestQueue::TakeOldest() {
    if (waiting_.empty()) return nullptr;
    std::unique_ptr<ASyncRequest> request = std::move(waiting_.back());
    waiting_.pop_back();
    return request;
}

bool AsyncRequestQueue::Cancel(std::uint32_t cancelID) {
    for (auto& request : waiting_) {
        if (request->version2 && request->cancelID == cancelID) {
            request->cancelled = true;
            return true;
        }
    }
    return false;
}

std::shared_ptr<OPCGroup> AsyncRequestQueue::Finish() {
    --outstanding_;
    if (quota_) quota_->Give();
    if (removed_ && outstanding_ == 0) return std::move(pendingTableReference_);
    return nullptr;
}

std::shared_ptr<OPCGroup> AsyncRequestQueue::MarkRemoved(std::shared_ptr<OPCGroup> tableReference) {
    removed_ = true;
    if (outstanding_ == 0) return tableReference;
    pendingTableReference_ = std::move(tableReference);
    return nullptr;
}

}  // namespace velk
