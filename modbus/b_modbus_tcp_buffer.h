#pragma once
// A first-in first-out queue of messages shared between threads. The queue does not own
// what it holds: whoever pops a message deletes it, and destroying the queue releases only
// its own storage.
#include <cstddef>
#include <deque>
#include <mutex>

#include "modbus/o_message.h"

namespace velk {

class BModbusTCPBuffer {
  public:
    // Appends at the tail.
    void Push(OMessage* message);
    // Removes and returns the head; nullptr when the queue is empty.
    OMessage* Pop();
    std::size_t Size() const;

  private:
    mutable std::mutex lock_;
    std::deque<OMessage*> messages_;
};

}  // namespace velk
