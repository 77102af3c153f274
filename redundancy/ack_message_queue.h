#pragma once
// The acknowledgement queue: acknowledgements waiting to be sent to the redundant peer, first
// in first out, under a lock of its own. Filled by AckCondition, drained by the redundancy
// client thread; the application object owns it.
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>

#include "opcae/b_ack_msg.h"

namespace velk {

class AckMessageQueue final : public IAckMessageQueue {
  public:
    void AddAckMessage(std::unique_ptr<BAckMsg> message) override;
    // The head; none when the queue is empty.
    std::unique_ptr<BAckMsg> Take();
    // Drops every waiting acknowledgement.
    void Clear();
    std::size_t Count() const;

  private:
    mutable std::mutex lock_;
    std::deque<std::unique_ptr<BAckMsg>> messages_;
};

}  // namespace velk
