#include "redundancy/redundancy_link.h"

#include <memory>

#include "redundancy/received_packet_queue.h"
#include "redundancy/redundancy_messages.h"

namespace velk {

RedundancyLink::RedundancyLink(RedundancyServices services, AckMessageQueue& acks,
                               ReceivedPacketQueue& received)
    : services_(std::move(services)),
      received_(received),
      client_(services_, acks),
      listener_(services_, received, [this] { NotifyClient(); }) {}

int RedundancyLink::RunClient(MessageQueue& queue) {
    {
        std::lock_guard guard(clientQueueLock_);
        clientQueue_ = &queue;
    }
    const int code = client_.Run(queue);
    std::lock_guard guard(clientQueueLock_);
    clientQueue_ = nullptr;
    return code;
}

int RedundancyLink::RunListener(MessageQueue& queue) { return listener_.Run(queue); }

void RedundancyLink::NotifyClient() {
    std::lock_guard guard(clientQueueLock_);
    // Without a client thread the packets wait for the next notice.
    if (clientQueue_ != nullptr)
        clientQueue_->Post(WM_REDUNDANCY_RECEIVED, 0,
                           std::make_unique<ReceivedPacketsNotice>(received_));
}

}  // namespace velk
