#pragma once
// Turns alarm records, and the present condition of a tag at refresh, into OPC condition
// events: category, condition and subcondition names, severity, message, area, source,
// states, change mask and the returned attributes.
#include <cstdint>
#include <string>
#include <vector>

#include "model/model_settings.h"
#include "opcae/opc_ae_types.h"

namespace velk {

class AeEventSpace;
class BEvent;
class OModbusTag;
class OTagAlarm;

// The alarm definition's fields that the returned attributes show, copied while the event is
// built under TagDataLock: the tag sheet may change or replace the alarm object as soon as
// the lock is released, before the attributes are filled in.
struct AlarmAttributes {
    bool simpleCondition = false;  // a binary alarm's attribute flag
    std::string area;
    std::int32_t alarmClass = 0;
};

// An event with what the subscription's filter and attribute selection need.
struct BuiltEvent {
    OnEventStruct event;
    int categoryIndex = 0;  // index in the category table
    std::string area;       // group path of a tag, name of a device
    AlarmAttributes alarm;
    std::string valueText;  // the "NEW VALUE" attribute
};

class AeEventBuilder {
  public:
    AeEventBuilder(const AeEventSpace& space, ModelSettings settings)
        : space_(space), settings_(std::move(settings)) {}

    // The event of a transition or acknowledgement record; false for a record without a
    // tag or device, a tag without an alarm, or a device alarm code outside 1 to 4.
    bool FromRecord(const BEvent& record, BuiltEvent& out) const;
    // The refresh event of a tag's present condition; false when the tag has no alarm or
    // its alarm state is 0.
    bool FromTagCondition(const OModbusTag& tag, BuiltEvent& out) const;

    // Fills the attribute values of the selected IDs (in the given order) and marks the
    // change mask when attributes go with an active-state change. matchedArea is the area
    // filter the event matched, null when the subscription has no area filter.
    static void AddAttributes(BuiltEvent& built, const std::vector<std::uint32_t>& attributeIds,
                              const std::string* matchedArea);

  private:
    struct Level {
        int categoryIndex = 0;
        int condition = -1;  // a user condition's own index; else the sub-condition's condition
        std::uint16_t subcondition = 0;
        std::uint16_t severity = 0;
        std::string text;
    };
    Level TagLevel(const OModbusTag& tag, std::uint16_t code, bool active) const;
    void FillTagFields(const OModbusTag& tag, const Level& level, bool active,
                       BuiltEvent& out) const;
    std::string TagSourceName(const OModbusTag& tag, const std::string& area) const;

    const AeEventSpace& space_;
    ModelSettings settings_;
};

// The source suffix of a device alarm code: "__P1", "__P2", "__CF", "__BO"; empty otherwise.
std::string DeviceSourceSuffix(std::uint16_t code);

}  // namespace velk
