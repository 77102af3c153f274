#include "opcua/alarms/ae_alarm_conditions.h"

#include <mutex>

#include "model/ae_event_space.h"
#include "model/b_event.h"
#include "model/c_doc.h"
#include "model/o_analog_alarm.h"
#include "model/o_device.h"
#include "model/o_modbus_tag.h"
#include "opcae/opc_event_server.h"

namespace velk::ua {

AeAlarmConditions::AeAlarmConditions(CDoc& document, const AeEventSpace& space,
                                     OPCEventServer& aeServer,
                                     std::function<NodeId(const std::string&)> sourceNode)
    : document_(document),
      builder_(space, document.Settings()),
      aeServer_(aeServer),
      sourceNode_(std::move(sourceNode)) {}

std::optional<ConditionSnapshot> AeAlarmConditions::SnapshotLocked(const BEvent& record) const {
    BuiltEvent built;
    if (!builder_.FromRecord(record, built)) return std::nullopt;
    const OnEventStruct& e = built.event;
    ConditionSnapshot c;
    c.cookie = e.cookie;
    c.conditionName = e.conditionName;
    c.subconditionName = e.subconditionName;
    c.sourceName = e.source;
    if (sourceNode_) c.sourceNode = sourceNode_(e.source);
    c.message = e.message;
    c.priority = e.severity;
    // The transition's own time: for event-buffer signals the controller's stamp.
    c.time = e.time;
    c.activeTime = e.activeTime;
    c.active = (e.newState & OPC_CONDITION_ACTIVE) != 0;
    c.acked = (e.newState & OPC_CONDITION_ACKED) != 0;
    c.quality = e.quality;
    c.clientUserId = record.acknowledger;
    if (record.tag == nullptr) {
        c.kind = ConditionKind::kDevice;
        return c;
    }
    const auto* analog = dynamic_cast<const OAnalogAlarm*>(record.tag->alarm.get());
    if (analog == nullptr || record.tag->IsBool()) {
        c.kind = ConditionKind::kOffNormal;
        return c;
    }
    c.kind = ConditionKind::kLimit;
    for (std::size_t i = 0; i < 4; ++i)
        if (analog->enableFlags & (1u << i)) c.limits[i] = analog->levelLimit[i];
    if (record.code >= AeEventSpace::kSubLoLo && record.code <= AeEventSpace::kSubHiHi)
        c.limitStateBit = static_cast<std::uint16_t>(1u << (record.code - AeEventSpace::kSubLoLo));
    return c;
}

std::optional<ConditionSnapshot> AeAlarmConditions::SnapshotOfRecord(const BEvent& record) const {
    std::lock_guard tagData(document_.Locks().tagData);
    return SnapshotLocked(record);
}

BEvent AeAlarmConditions::PresentRecordOfTag(OModbusTag& tag) const {
    BEvent record;
    record.tag = &tag;
    record.device = tag.device;
    record.code = tag.subconditionIndex;
    record.active = tag.alarmState != 0 ? 1 : 0;
    record.activeTime = tag.activeTime;
    record.eventTime = tag.alarmState != 0 ? tag.activeTime : tag.normalTime;
    return record;
}

std::optional<ConditionSnapshot> AeAlarmConditions::Find(std::uint32_t cookie) const {
    std::lock_guard tagData(document_.Locks().tagData);
    if (OModbusTag* tag = document_.FindTagById(cookie)) {
        if (!tag->alarm) return std::nullopt;
        return SnapshotLocked(PresentRecordOfTag(*tag));
    }
    ODevice* device = nullptr;
    ODeviceAlarm* alarm = document_.FindDeviceAlarmById(cookie, &device);
    if (alarm == nullptr || device == nullptr) return std::nullopt;
    BEvent record;
    record.device = device;
    record.code = device->CodeOfAlarm(alarm);
    record.active = (alarm->lastStatus & record.code) == record.code ? 1 : 0;
    record.activeTime = alarm->activeTime;
    record.eventTime = record.active ? alarm->activeTime : alarm->normalTime;
    return SnapshotLocked(record);
}

std::vector<ConditionSnapshot> AeAlarmConditions::Retained() const {
    std::vector<ConditionSnapshot> out;
    auto keep = [&out](std::optional<ConditionSnapshot> c) {
        if (c && (c->active || !c->acked)) out.push_back(std::move(*c));
    };
    std::lock_guard tagData(document_.Locks().tagData);
    document_.rootGroup.ForEachTag([&](OModbusTag* tag) {
        // A condition that was never raised has nothing to report.
        if (tag->alarm && tag->subconditionIndex != 0)
            keep(SnapshotLocked(PresentRecordOfTag(*tag)));
    });
    for (ODevice* device : document_.Devices()) {
        for (std::uint16_t code = kAlarmPort1; code <= kAlarmBufferOverrun; ++code) {
            const ODeviceAlarm* alarm = device->AlarmOfCode(code);
            if (alarm == nullptr || alarm->activeTime == 0) continue;
            BEvent record;
            record.device = device;
            record.code = code;
            record.active = (alarm->lastStatus & code) == code ? 1 : 0;
            record.activeTime = alarm->activeTime;
            record.eventTime = record.active ? alarm->activeTime : alarm->normalTime;
            keep(SnapshotLocked(record));
        }
    }
    return out;
}

bool AeAlarmConditions::Acknowledge(const ConditionSnapshot& condition, const std::string& user,
                                    const std::string& comment) {
    AckConditionEntry entry;
    entry.source = condition.sourceName;
    entry.conditionName = condition.conditionName;
    entry.activeTime = condition.activeTime;
    entry.cookie = condition.cookie;
    std::vector<HRESULT> errors;
    const HRESULT result = aeServer_.AckCondition({entry}, user.c_str(), comment.c_str(), &errors);
    return result == S_OK && errors.size() == 1 && errors[0] == S_OK;
}

void AeAlarmConditions::DistributeEvent(const BEvent& event) {
    if (methods_ == nullptr) return;
    if (auto snapshot = SnapshotOfRecord(event)) methods_->OnConditionChange(std::move(*snapshot));
}

}  // namespace velk::ua
