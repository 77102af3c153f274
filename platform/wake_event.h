#pragma once
// A wake for a thread that waits on sockets: any thread signals it, and the waiting thread
// sees its holder readable in WaitReadable or WaitReady, so a posted task ends the wait at
// once instead of at the next poll slice.
#include <memory>

#include "platform/tcp_sockets.h"

namespace velk {

class IWakeEvent {
  public:
    virtual ~IWakeEvent() = default;
    // Readable from the first Signal until Clear.
    virtual SocketHolder Holder() const = 0;
    // From any thread; signals already pending add nothing.
    virtual void Signal() = 0;
    // Called by the waiting thread once woken, before it takes what the signal was for.
    virtual void Clear() = 0;
};

// The system's wake; null when the system has none to give (out of descriptors).
std::unique_ptr<IWakeEvent> MakeWakeEvent();

}  // namespace velk
