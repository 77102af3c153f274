#pragma once
// Building and posting the alarm records of condition transitions.
#include <cstdint>

#include "platform/clock.h"

namespace velk {

class IEventPoster;
class ODevice;
class OModbusTag;

// Posts one transition record of a tag: subcondition index, active flag, times and the
// tag's value as text. A record that cannot be allocated is not posted.
void PostTagTransition(IEventPoster& poster, OModbusTag& tag, std::uint16_t subcondition,
                       bool active, FileTime eventTime, FileTime activeTime);
// Posts one transition record of a device alarm with its code.
void PostDeviceTransition(IEventPoster& poster, ODevice& device, std::uint16_t code, bool active,
                          FileTime eventTime, FileTime activeTime);

}  // namespace velk
