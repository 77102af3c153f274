#pragma once
// One alarm record: a condition transition or an acknowledgement, on its way from the
// evaluation to the AE server objects and their subscriptions. Whoever holds a record owns
// it; it travels inside a WM_AE_EVENT message.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/message_queue.h"

namespace velk {

class OModbusTag;
class ODevice;

// tag and device point into the configuration tree without owning it. They stay valid
// because the tree loses tags and devices only while no client is attached: New, Open, the
// CSV import that replaces devices and the deletion of tags, groups and devices are refused
// while the client count (or the COM lock count) is non-zero, and a device's acquisition
// threads stop before it is destroyed.
// Records are made by acquisition, which runs only while clients are attached; the
// AeEventThread hands them on only while clients are attached and destroys the others
// without reading through the pointers; subscriptions, which keep copies, belong to AE
// server objects, which count as clients. Whoever reads through the pointers takes
// TagDataLock of the tree they point into (the document's, device->Locks().tagData).
class BEvent final : public MessagePayload {
  public:
    std::uint16_t code = 0;     // tag records: subcondition index; device records: alarm code 1..4
    std::uint16_t active = 0;   // 1 the condition is (still) active, 0 it returned to normal
    OModbusTag* tag = nullptr;  // the tag whose alarm produced the record; none for devices
    ODevice* device = nullptr;  // the tag's device, or the device of a device alarm
    FileTime eventTime = 0;     // transition or acknowledgement time
    FileTime activeTime = 0;    // the condition's activation time
    std::string acknowledger;   // empty for transitions
    std::string valueText;      // tag records: the value as text when the record was made

    // A record names its source when it carries a tag or a device.
    bool HasSource() const { return tag != nullptr || device != nullptr; }
};

// Where alarm records go: AeEventThread's queue in the server, a recorder in tests.
// Posting never waits; the record belongs to the receiver from then on.
class IEventPoster {
  public:
    virtual ~IEventPoster() = default;
    virtual void PostEvent(std::unique_ptr<BEvent> event) = 0;
};

}  // namespace velk
