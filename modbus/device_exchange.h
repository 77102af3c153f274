#pragma once
// The scan engine's view of a device's communication: one built request out on the
// device's active channel, its answer back in the same message. The serial and TCP channels
// implement it; tests give a recording fake.
#include "modbus/message_framing.h"
#include "modbus/o_message.h"

namespace velk {

class ODevice;

class IDeviceExchange {
  public:
    virtual ~IDeviceExchange() = default;

    // The framing that requests for the device's active channel are built in.
    virtual MessageFraming Framing(const ODevice& device) const = 0;
    // Sends the request and waits for its answer under the device's exchange lock or its
    // port lock. Afterwards the message holds the answer, or it was reset when the exchange
    // failed; the caller decides with IsValid. Never called with TagDataLock held by the
    // scan engine.
    virtual void Exchange(ODevice& device, OMessage& message) = 0;
    // A reader took the failure of another reader's read request instead of sending its own:
    // the failure is reported to the device's supervision as its own exchange's would have
    // been.
    virtual void ReportTakenFailure(ODevice& /*device*/) {}
};

// The framing of a device's active channel from its configuration: TCP for a Modbus TCP
// device, otherwise by the data bits of the port that the active channel runs on (RTU when
// no port is bound).
MessageFraming ActiveChannelFraming(const ODevice& device);

}  // namespace velk
