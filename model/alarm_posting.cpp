#include "model/alarm_posting.h"

#include <new>

#include "model/b_event.h"
#include "model/o_device.h"
#include "model/o_modbus_tag.h"

namespace velk {
namespace {

std::unique_ptr<BEvent> NewRecord() { return std::unique_ptr<BEvent>(new (std::nothrow) BEvent); }

}  // namespace

void PostTagTransition(IEventPoster& poster, OModbusTag& tag, std::uint16_t subcondition,
                       bool active, FileTime eventTime, FileTime activeTime) {
    auto record = NewRecord();
    if (!record) return;
    record->code = subcondition;
    record->active = active ? 1 : 0;
    record->tag = &tag;
    record->device = tag.device;
    record->eventTime = eventTime;
    record->activeTime = activeTime;
    record->valueText = tag.value.ToText();
    poster.PostEvent(std::move(record));
}

void PostDeviceTransition(IEventPoster& poster, ODevice& device, std::uint16_t code, bool active,
                          FileTime eventTime, FileTime activeTime) {
    auto record = NewRecord();
    if (!record) return;
    record->code = code;
    record->active = active ? 1 : 0;
    record->device = &device;
    record->eventTime = eventTime;
    record->activeTime = activeTime;
    poster.PostEvent(std::move(record));
}

}  // namespace velk
