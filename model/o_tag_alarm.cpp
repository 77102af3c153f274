#include "model/o_tag_alarm.h"

#include <typeinfo>

namespace velk {

void OTagAlarm::Assign(const OTagAlarm& source) {
    if (&source != this) CopyAll(source);
}

bool OTagAlarm::IsEqual(const OTagAlarm& other) const {
    return enableFlags == other.enableFlags && acknowledgeFlags == other.acknowledgeFlags &&
           normalPriority == other.normalPriority && normalText == other.normalText &&
           area == other.area && alarmClass == other.alarmClass;
}

std::uint16_t OTagAlarm::Evaluate(OModbusTag&, IEventPoster&) { return 0; }

void OTagAlarm::CopyBase(const OTagAlarm& source) {
    enableFlags = source.enableFlags;
    acknowledgeFlags = source.acknowledgeFlags;
    normalPriority = source.normalPriority;
    normalText = source.normalText;
    area = source.area;
    alarmClass = source.alarmClass;
}

bool OTagAlarm::IsEqualAll(const OTagAlarm& other) const {
    return typeid(*this) == typeid(other) && IsEqual(other);
}

std::unique_ptr<OTagAlarm> OTagAlarm::Clone() const {
    auto copy = std::make_unique<OTagAlarm>();
    copy->CopyBase(*this);
    return copy;
}

}  // namespace velk
