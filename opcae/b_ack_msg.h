#pragma once
// One acknowledgement waiting to be sent to the redundant peer, and the queue it waits in.
// The queue belongs to the application object; the redundancy client thread drains it.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/clock.h"

namespace velk {

class BAckMsg {
  public:
    BAckMsg(FileTime acknowledgementTime, std::string path)
        : timeLow(static_cast<std::uint32_t>(acknowledgementTime & 0xFFFFFFFFu)),
          timeHigh(static_cast<std::uint32_t>(acknowledgementTime >> 32)),
          tagPath(std::move(path)) {}

    FileTime AcknowledgementTime() const {
        return (static_cast<FileTime>(timeHigh) << 32) | timeLow;
    }

    std::int32_t acknowledgeFlag = 1;  // always 1; only its low byte travels
    std::uint32_t timeLow = 0;
    std::uint32_t timeHigh = 0;
    std::string tagPath;  // the tag's full path with the area delimiter
};

// The acknowledgement queue as its producer sees it. Adding never waits.
class IAckMessageQueue {
  public:
    virtual ~IAckMessageQueue() = default;
    virtual void AddAckMessage(std::unique_ptr<BAckMsg> message) = 0;
};

}  // namespace velk
