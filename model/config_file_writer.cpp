#include "model/config_file_writer.h"

#include "model/c_doc.h"
#include "model/device_field_settings.h"
#include "model/o_analog_alarm.h"
#include "model/o_analog_data.h"
#include "model/o_binary_alarm.h"
#include "model/o_binary_data.h"
#include "model/o_device.h"
#include "model/o_device_alarm.h"
#include "model/o_device_params.h"
#include "model/o_modbus_tag.h"
#include "model/o_port.h"
#include "model/o_tag_group.h"

namespace velk {
namespace {

// The object of the class the data type calls for; a default one when the tag holds another
// class, so that the file always matches the type.
template <class T, class Base>
const T& OfClass(const std::unique_ptr<Base>& object, const T& fallback) {
    const T* typed = dynamic_cast<const T*>(object.get());
    return typed != nullptr ? *typed : fallback;
}

void PutAlarmBase(ObjectArchive& ar, const OTagAlarm& alarm) {
    ar.PutClass("OTagAlarm", kObjectSchema);
    ar.PutText(alarm.area);
    ar.PutI32(alarm.alarmClass);
}

void CollectTags(const OTagGroup& group, std::vector<const OModbusTag*>& tags) {
    for (const auto& tag : group.tagList) tags.push_back(tag.get());
    for (const auto& sub : group.subgroupList) CollectTags(*sub, tags);
}

}  // namespace

void ConfigFileWriter::ChooseSchemas(const std::vector<const OModbusTag*>& tags) {
    tagSchema_ = kObjectSchema;
    analogAlarmSchema_ = kObjectSchema;
    for (const OModbusTag* tag : tags) {
        if (tag->HasFieldSettings()) tagSchema_ = kFieldSettingsSchema;
        const auto* alarm = dynamic_cast<const OAnalogAlarm*>(tag->alarm.get());
        if (tag->dataType != VT_BOOL && alarm != nullptr && alarm->HasFieldSettings())
            analogAlarmSchema_ = kFieldSettingsSchema;
    }
}

std::string ConfigFileWriter::DocumentBytes(const CDoc& document) {
    ObjectArchive ar;
    ConfigFileWriter(ar).WriteDocument(document);
    return ar.TakeBytes();
}

std::string ConfigFileWriter::TagListBytes(const std::vector<const OModbusTag*>& tags) {
    ObjectArchive ar;
    ConfigFileWriter(ar).WriteTagList(tags);
    return ar.TakeBytes();
}

void ConfigFileWriter::WriteDocument(const CDoc& document) {
    // The root group's own tag list is never stored.
    std::vector<const OModbusTag*> tags;
    paramsSchema_ = kObjectSchema;
    for (const auto& sub : document.rootGroup.subgroupList) {
        CollectTags(*sub, tags);
        const auto* device = dynamic_cast<const ODevice*>(sub.get());
        if (device != nullptr && HasFieldSettings(device->params))
            paramsSchema_ = kFieldSettingsSchema;
    }
    ChooseSchemas(tags);
    portSchema_ = kObjectSchema;
    for (const auto& port : document.portList)
        if (HasFieldSettings(*port)) portSchema_ = kFieldSettingsSchema;
    ar_.PutClass("CDoc", kDocumentSchema);
    ar_.PutU16(document.nextDeviceNumber);
    ar_.PutCount(static_cast<std::uint32_t>(document.portList.size()));
    for (const auto& port : document.portList) {
        ar_.PutObjectClass("OPort", portSchema_);
        WritePort(*port);
    }
    ar_.PutClass("OTagGroup", kObjectSchema);
    WriteGroupRecord(document.rootGroup, true);
}

void ConfigFileWriter::WriteTagList(const std::vector<const OModbusTag*>& tags) {
    ChooseSchemas(tags);
    ar_.PutCount(static_cast<std::uint32_t>(tags.size()));
    for (const OModbusTag* tag : tags) WriteTag(*tag);
}

void ConfigFileWriter::WritePort(const OPort& port) {
    ar_.PutText(port.name);
    ar_.PutI32(port.enabled);
    ar_.PutU32(port.baudRate);
    ar_.PutU16(port.dataBits);
    ar_.PutU16(port.stopBits);
    ar_.PutU16(port.parity);
    ar_.PutU16(port.flowControl);
    if (portSchema_ < kFieldSettingsSchema) return;
    std::uint16_t count = 0;
    for (const PortFieldSetting& s : PortFieldSettings())
        if (port.*s.member != s.defaultValue) ++count;
    ar_.PutU16(count);
    for (const PortFieldSetting& s : PortFieldSettings()) {
        if (port.*s.member == s.defaultValue) continue;
        ar_.PutU16(s.key);
        ar_.PutI32(port.*s.member);
    }
}

void ConfigFileWriter::WriteGroupRecord(const OTagGroup& group, bool isRoot) {
    ar_.PutText(group.name);
    ar_.PutText(group.description);
    ar_.PutI32(group.nextTagNumber);
    // The root group holds devices only; its own tag list is always stored empty.
    if (isRoot) {
        ar_.PutCount(0);
    } else {
        ar_.PutCount(static_cast<std::uint32_t>(group.tagList.size()));
        for (const auto& tag : group.tagList) WriteTag(*tag);
    }
    if (isRoot) {
        std::vector<ODevice*> devices;
        for (const auto& sub : group.subgroupList) {
            if (auto* device = dynamic_cast<ODevice*>(sub.get())) devices.push_back(device);
        }
        ar_.PutCount(static_cast<std::uint32_t>(devices.size()));
        for (ODevice* device : devices) WriteDevice(*device);
        return;
    }
    ar_.PutCount(static_cast<std::uint32_t>(group.subgroupList.size()));
    for (const auto& sub : group.subgroupList) {
        ar_.PutObjectClass("OTagGroup", kObjectSchema);
        WriteGroupRecord(*sub, false);
    }
}

void ConfigFileWriter::WriteDevice(ODevice& device) {
    ar_.PutObjectClass("ODevice", kObjectSchema);
    ar_.PutI32(device.activeChannel);
    ar_.PutI32(device.simulationEnabled);
    ar_.PutClass("ODeviceParams", paramsSchema_);
    WriteParams(device);
    ar_.PutClass("OTagGroup", kObjectSchema);
    WriteGroupRecord(device, false);
    device.importMark = 0;
}

void ConfigFileWriter::WriteParams(const ODevice& device) {
    const ODeviceParams& p = device.params;
    ar_.PutText(p.primaryPortName);
    ar_.PutU8(p.slaveAddress);
    ar_.PutU32(p.tagScan);
    ar_.PutU32(p.eventScan);
    ar_.PutU32(p.timeout);
    ar_.PutI16(p.reserved);
    ar_.PutI16(p.wordSwap);
    ar_.PutI16(p.eventArea);
    ar_.PutI16(p.deviceType);
    ar_.PutU16(p.timeSync);
    ar_.PutText(p.secondaryPortName);
    ar_.PutU16(p.supervisorTime);
    ar_.PutI32(p.initiallyReadEventStatus);
    ar_.PutI32(p.readEventStatusAfterCommFailure);
    ar_.PutI32(p.modbusTcp);
    ar_.PutText(p.primaryIpAddress);
    ar_.PutText(p.secondaryIpAddress);
    ar_.PutI16(p.supervisorRetries);
    ar_.PutText(p.primaryGatewayAddress);
    ar_.PutText(p.secondaryGatewayAddress);
    // One class mark for the four alarms.
    ar_.PutClass("ODeviceAlarm", kObjectSchema);
    for (const ODeviceAlarm& alarm : device.communicationAlarms) WriteDeviceAlarm(alarm);
    if (paramsSchema_ < kFieldSettingsSchema) return;
    // The field settings that differ from their defaults, as key and value pairs.
    std::uint16_t count = 0;
    for (const DeviceFieldSetting& s : DeviceFieldSettings())
        if (p.*s.member != s.defaultValue) ++count;
    ar_.PutU16(count);
    for (const DeviceFieldSetting& s : DeviceFieldSettings()) {
        if (p.*s.member == s.defaultValue) continue;
        ar_.PutU16(s.key);
        ar_.PutI32(p.*s.member);
    }
}

void ConfigFileWriter::WriteDeviceAlarm(const ODeviceAlarm& alarm) {
    ar_.PutU16(alarm.enableFlags);
    ar_.PutU16(alarm.acknowledgeFlags);
    ar_.PutU16(alarm.normalPriority);
    ar_.PutText(alarm.normalText);
    ar_.PutU16(alarm.failurePriority);
    ar_.PutText(alarm.failureText);
    ar_.PutText(alarm.source);
}

void ConfigFileWriter::WriteTag(const OModbusTag& tag) {
    ar_.PutObjectClass("OModbusTag", tagSchema_);
    ar_.PutU16(static_cast<std::uint16_t>(tag.locationKind));
    ar_.PutU16(tag.address);
    ar_.PutU16(tag.size);
    ar_.PutI16(tag.simulationKind);
    ar_.PutClass("OTag", kObjectSchema);
    ar_.PutText(tag.name);
    ar_.PutText(tag.description);
    ar_.PutU16(tag.dataType);
    ar_.PutI32(tag.reserved);
    ar_.PutU16(tag.accessRights);
    ar_.PutText(tag.defaultDisplay);
    WriteScaling(tag);
    WriteAlarm(tag);
    if (tagSchema_ >= kFieldSettingsSchema) {
        ar_.PutI16(tag.byteOrder);
        ar_.PutI16(tag.registerBit);
    }
}

void ConfigFileWriter::WriteScaling(const OModbusTag& tag) {
    if (tag.dataType == VT_BOOL) {
        static const OBinaryData kDefault;
        const OBinaryData& s = OfClass(tag.scaling, kDefault);
        ar_.PutClass("OBinaryData", kObjectSchema);
        ar_.PutU16(s.conversion);
        ar_.PutU32(s.initValue);
        return;
    }
    static const OAnalogData kDefault;
    const OAnalogData& s = OfClass(tag.scaling, kDefault);
    ar_.PutClass("OAnalogData", kObjectSchema);
    ar_.PutU16(s.conversion);
    ar_.PutDouble(s.initValue);
    ar_.PutDouble(s.engineeringMinimum);
    ar_.PutDouble(s.engineeringMaximum);
    ar_.PutDouble(s.rawMinimum);
    ar_.PutDouble(s.rawMaximum);
    ar_.PutText(s.units);
    ar_.PutDouble(s.lowProcess);
    ar_.PutDouble(s.highProcess);
}

void ConfigFileWriter::WriteAlarm(const OModbusTag& tag) {
    if (tag.dataType == VT_BOOL) {
        static const OBinaryAlarm kDefault;
        const OBinaryAlarm& a = OfClass(tag.alarm, kDefault);
        ar_.PutClass("OBinaryAlarm", kObjectSchema);
        ar_.PutU16(a.enableFlags);
        ar_.PutU16(a.acknowledgeFlags);
        ar_.PutU16(a.normalPriority);
        ar_.PutText(a.normalText);
        ar_.PutU16(a.alarmPriority);
        ar_.PutText(a.alarmText);
        ar_.PutText(a.source);
        ar_.PutU32(a.userCondition);
        ar_.PutU32(a.attributeFlag);
        PutAlarmBase(ar_, a);
        return;
    }
    static const OAnalogAlarm kDefault;
    const OAnalogAlarm& a = OfClass(tag.alarm, kDefault);
    ar_.PutClass("OAnalogAlarm", analogAlarmSchema_);
    ar_.PutU16(a.enableFlags);
    ar_.PutU16(a.acknowledgeFlags);
    ar_.PutU16(a.normalPriority);
    ar_.PutText(a.normalText);
    for (std::uint16_t priority : a.levelPriority) ar_.PutU16(priority);
    for (const std::string& text : a.levelText) ar_.PutText(text);
    for (double limit : a.levelLimit) ar_.PutDouble(limit);
    PutAlarmBase(ar_, a);
    if (analogAlarmSchema_ >= kFieldSettingsSchema) {
        ar_.PutDouble(a.deadband);
        ar_.PutU32(a.onDelay);
    }
}

}  // namespace velk
