#pragma once
// The redundancy link of one server: the bodies of RedundantClientThread and
// RedundantListenerThread over the two queues that the application object owns, and the
// hand-over of received packets from the listener to the client thread.
#include <mutex>

#include "platform/message_queue.h"
#include "redundancy/redundancy_services.h"
#include "redundancy/redundant_client_thread.h"
#include "redundancy/redundant_listener_thread.h"

namespace velk {

class AckMessageQueue;
class ReceivedPacketQueue;

class RedundancyLink {
  public:
    RedundancyLink(RedundancyServices services, AckMessageQueue& acks,
                   ReceivedPacketQueue& received);
    RedundancyLink(const RedundancyLink&) = delete;
    RedundancyLink& operator=(const RedundancyLink&) = delete;

    // The threads' bodies, each run on its own thread with its own queue.
    int RunClient(MessageQueue& queue);
    int RunListener(MessageQueue& queue);

  private:
    void NotifyClient();

    RedundancyServices services_;
    ReceivedPacketQueue& received_;
    RedundantClientThread client_;
    RedundantListenerThread listener_;
    std::mutex clientQueueLock_;
    MessageQueue* clientQueue_ = nullptr;  // while RunClient runs
};

}  // namespace velk
