#include "model/config_file_reader.h"

#include <algorithm>
#include <mutex>

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
#include "model/tag_list.h"

namespace velk {
namespace {

constexpr std::uint16_t kDefaultSupervisorTime = 1000;

// The tags of a group and of its subgroups, depth first, as the file holds them: each
// joins the document tag list with its group and device set.
void JoinTree(CDoc& document, OTagGroup& group, ODevice& device, std::vector<OModbusTag*>& walk) {
    for (const auto& tag : group.tagList) {
        tag->group = &group;
        tag->device = &device;
        document.documentTagList.push_back(tag.get());
        walk.push_back(tag.get());
    }
    for (const auto& sub : group.subgroupList) JoinTree(document, *sub, device, walk);
}

// A scan list in location order; tags with an equal key stay in walk order, as one
// insertion after another would leave them, without the quadratic cost of that.
TagList SortedScanList(const std::vector<OModbusTag*>& walk, bool (*member)(const OModbusTag&)) {
    TagList list;
    for (OModbusTag* tag : walk) {
        if (member(*tag)) list.push_back(tag);
    }
    std::stable_sort(list.begin(), list.end(), [](const OModbusTag* a, const OModbusTag* b) {
        return a->locationKind < b->locationKind ||
               (a->locationKind == b->locationKind && a->address < b->address);
    });
    return list;
}

void JoinDevice(CDoc& document, ODevice& device) {
    document.AdoptDevice(device);
    std::vector<OModbusTag*> walk;
    JoinTree(document, device, device, walk);
    TagList events = SortedScanList(walk, [](const OModbusTag& t) { return t.IsEventSignal(); });
    TagList alarms = SortedScanList(walk, [](const OModbusTag& t) { return t.HasEnabledAlarm(); });
    std::lock_guard<std::recursive_mutex> lock(document.Locks().tagData);
    device.eventSignalScanList = std::move(events);
    device.alarmScanList = std::move(alarms);
}

}  // namespace

bool ConfigFileReader::ReadDocumentBytes(std::string_view bytes, CDoc& document,
                                         FileTime creationTime) {
    ObjectArchive ar(bytes);
    return ConfigFileReader(ar, creationTime).ReadDocument(document);
}

bool ConfigFileReader::ReadTagListBytes(std::string_view bytes,
                                        std::vector<std::unique_ptr<OModbusTag>>& tags,
                                        FileTime creationTime) {
    ObjectArchive ar(bytes);
    return ConfigFileReader(ar, creationTime).ReadTagList(tags);
}

bool ConfigFileReader::ReadDocument(CDoc& document) {
    document.ClearContents();
    document.rootGroup.name = "Group";
    document.rootGroup.description.clear();
    document.rootGroup.nextTagNumber = 1;
    document.nextDeviceNumber = 1;
    if (ar_.Remaining() == 0) return true;  // a zero-byte file: no ports, no devices

    std::uint16_t schema = 0;
    std::uint16_t nextDeviceNumber = 1;
    std::uint32_t portCount = 0;
    if (!ar_.GetClass("CDoc", schema) || !ar_.GetU16(nextDeviceNumber) ||
        !ar_.GetListCount(portCount)) {
        return false;
    }
    std::vector<std::unique_ptr<OPort>> ports;
    for (std::uint32_t i = 0; i < portCount; ++i) {
        auto port = std::make_unique<OPort>();
        std::uint16_t portSchema = 0;
        if (!ar_.GetObjectClass("OPort", portSchema) || !ReadPort(*port, portSchema)) return false;
        ports_.push_back(port.get());
        ports.push_back(std::move(port));
    }
    OTagGroup root;
    if (!ar_.GetClass("OTagGroup", schema) || !ReadGroupRecord(root, true, 0)) return false;

    // Everything was read: the tree joins the document; trailing bytes are ignored.
    document.nextDeviceNumber = nextDeviceNumber;
    document.portList = std::move(ports);
    document.rootGroup.name = std::move(root.name);
    document.rootGroup.description = std::move(root.description);
    document.rootGroup.nextTagNumber = root.nextTagNumber;
    document.rootGroup.subgroupList = std::move(root.subgroupList);
    for (const auto& group : document.rootGroup.subgroupList) {
        group->parent = &document.rootGroup;
        JoinDevice(document, static_cast<ODevice&>(*group));
    }
    return true;
}

bool ConfigFileReader::ReadTagList(std::vector<std::unique_ptr<OModbusTag>>& tags) {
    std::uint32_t count = 0;
    if (!ar_.GetListCount(count)) return false;
    std::vector<std::unique_ptr<OModbusTag>> read;
    for (std::uint32_t i = 0; i < count; ++i) {
        auto tag = ReadTag();
        if (!tag) return false;
        read.push_back(std::move(tag));
    }
    tags = std::move(read);
    return true;
}

bool ConfigFileReader::ReadPort(OPort& port, std::uint16_t s) {
    // The settings-changed flag is not stored: a port read from a file starts with it set.
    port.settingsChanged = true;
    const bool ok = ar_.GetText(port.name) && ar_.GetI32(port.enabled) &&
                    ar_.GetU32(port.baudRate) && ar_.GetU16(port.dataBits) &&
                    ar_.GetU16(port.stopBits) && ar_.GetU16(port.parity) &&
                    ar_.GetU16(port.flowControl);
    if (!ok || s < kFieldSettingsSchema) return ok;
    return ReadSettingsList(
        [&](std::uint16_t key, std::int32_t value) { SetFieldSetting(port, key, value); });
}

bool ConfigFileReader::ReadGroupRecord(OTagGroup& group, bool isRoot, int depth) {
    if (depth > kMaxGroupDepth) {
        ar_.Fail();
        return false;
    }
    std::uint32_t tagCount = 0;
    if (!ar_.GetText(group.name) || !ar_.GetText(group.description) ||
        !ar_.GetI32(group.nextTagNumber) || !ar_.GetListCount(tagCount)) {
        return false;
    }
    // Tags live in devices and their groups, never in the root group.
    if (isRoot && tagCount != 0) {
        ar_.Fail();
        return false;
    }
    for (std::uint32_t i = 0; i < tagCount; ++i) {
        auto tag = ReadTag();
        if (!tag) return false;
        tag->group = &group;
        group.tagList.push_back(std::move(tag));
    }
    std::uint32_t subgroupCount = 0;
    if (!ar_.GetListCount(subgroupCount)) return false;
    for (std::uint32_t i = 0; i < subgroupCount; ++i) {
        std::unique_ptr<OTagGroup> sub;
        if (isRoot) {
            sub = ReadDevice();
            if (!sub) return false;
        } else {
            std::uint16_t schema = 0;
            if (!ar_.GetObjectClass("OTagGroup", schema)) return false;
            sub = std::make_unique<OTagGroup>();
            sub->parent = &group;
            if (!ReadGroupRecord(*sub, false, depth + 1)) return false;
        }
        sub->parent = &group;
        group.subgroupList.push_back(std::move(sub));
    }
    return true;
}

std::unique_ptr<ODevice> ConfigFileReader::ReadDevice() {
    std::uint16_t schema = 0;
    if (!ar_.GetObjectClass("ODevice", schema)) return nullptr;
    auto device = std::make_unique<ODevice>(creationTime_);
    if (!ar_.GetI32(device->activeChannel) || !ar_.GetI32(device->simulationEnabled) ||
        !ReadParams(*device) || !ar_.GetClass("OTagGroup", schema) ||
        !ReadGroupRecord(*device, false, 1)) {
        return nullptr;
    }
    device->importMark = 0;
    return device;
}

bool ConfigFileReader::ReadParams(ODevice& device) {
    std::uint16_t s = 0;
    if (!ar_.GetClass("ODeviceParams", s)) return false;
    ODeviceParams& p = device.params;
    bool ok = ar_.GetText(p.primaryPortName) && ar_.GetU8(p.slaveAddress) &&
              ar_.GetU32(p.tagScan) && ar_.GetU32(p.eventScan) && ar_.GetU32(p.timeout) &&
              ar_.GetI16(p.reserved) && ar_.GetI16(p.wordSwap) && ar_.GetI16(p.eventArea) &&
              ar_.GetI16(p.deviceType) && ar_.GetU16(p.timeSync);
    if (ok && s >= 2) ok = ar_.GetText(p.secondaryPortName) && ar_.GetU16(p.supervisorTime);
    if (ok && s >= 3) ok = ar_.GetI32(p.initiallyReadEventStatus);
    // Written between the event-status flag and Modbus TCP, but only from schema 10 on.
    if (ok && s >= 10) ok = ar_.GetI32(p.readEventStatusAfterCommFailure);
    if (ok && s >= 4) {
        ok = ar_.GetI32(p.modbusTcp) && ar_.GetText(p.primaryIpAddress) &&
             ar_.GetText(p.secondaryIpAddress) && ar_.GetI16(p.supervisorRetries);
    }
    if (ok && s >= 6) {
        ok = ar_.GetText(p.primaryGatewayAddress) && ar_.GetText(p.secondaryGatewayAddress);
    }
    if (ok && s >= 7) {
        std::uint16_t alarmSchema = 0;
        ok = ar_.GetClass("ODeviceAlarm", alarmSchema);
        const int stored = s >= 8 ? 4 : 3;
        for (int i = 0; ok && i < stored; ++i) {
            ok = ReadDeviceAlarm(device.communicationAlarms[static_cast<std::size_t>(i)],
                                 alarmSchema);
        }
    }
    if (ok && s >= kFieldSettingsSchema) ok = ReadFieldSettings(p);
    if (!ok) return false;
    if (s <= 1) {
        p.secondaryPortName = p.primaryPortName;
        p.modbusTcp = 0;
        p.supervisorRetries = 1;
        p.initiallyReadEventStatus = 1;
        p.supervisorTime = kDefaultSupervisorTime;
    }
    if (p.supervisorTime == 0) p.supervisorTime = kDefaultSupervisorTime;
    device.BindPorts(ports_);
    return true;
}

bool ConfigFileReader::ReadFieldSettings(ODeviceParams& params) {
    return ReadSettingsList(
        [&](std::uint16_t key, std::int32_t value) { SetFieldSetting(params, key, value); });
}

bool ConfigFileReader::ReadSettingsList(
    const std::function<void(std::uint16_t, std::int32_t)>& set) {
    // Every record of the field-settings schema holds the list, empty when all are default.
    std::uint16_t count = 0;
    if (!ar_.GetU16(count)) return false;
    for (std::uint16_t i = 0; i < count; ++i) {
        std::uint16_t key = 0;
        std::int32_t value = 0;
        if (!ar_.GetU16(key) || !ar_.GetI32(value)) return false;
        set(key, value);
    }
    return true;
}

bool ConfigFileReader::ReadDeviceAlarm(ODeviceAlarm& alarm, std::uint16_t s) {
    bool ok = true;
    if (s >= 7) {
        ok = ar_.GetU16(alarm.enableFlags) && ar_.GetU16(alarm.acknowledgeFlags) &&
             ar_.GetU16(alarm.normalPriority) && ar_.GetText(alarm.normalText) &&
             ar_.GetU16(alarm.failurePriority) && ar_.GetText(alarm.failureText);
    }
    if (ok && s >= 10) ok = ar_.GetText(alarm.source);
    return ok;
}

std::unique_ptr<OModbusTag> ConfigFileReader::ReadTag() {
    std::uint16_t schema = 0;
    if (!ar_.GetObjectClass("OModbusTag", schema)) return nullptr;
    auto tag = std::make_unique<OModbusTag>(creationTime_);
    std::uint16_t location = 0;
    std::uint16_t dataType = 0;
    std::uint16_t s = 0;
    if (!ar_.GetU16(location) || !ar_.GetU16(tag->address) || !ar_.GetU16(tag->size) ||
        !ar_.GetI16(tag->simulationKind) || !ar_.GetClass("OTag", s) || !ar_.GetText(tag->name) ||
        !ar_.GetText(tag->description) || !ar_.GetU16(dataType) || !ar_.GetI32(tag->reserved)) {
        return nullptr;
    }
    tag->locationKind = location;
    if (s >= 2) {
        if (!ar_.GetU16(tag->accessRights)) return nullptr;
    } else if (location == kOutputCoil || location == kHoldingRegister) {
        tag->accessRights = kAccessReadable | kAccessWritable;
    }
    if (s >= 5 && !ar_.GetText(tag->defaultDisplay)) return nullptr;
    // Created with binary scaling and alarm; other types get new analog objects first.
    tag->dataType = dataType;
    tag->MatchObjectsToType();
    if (!ReadScaling(*tag) || !ReadAlarm(*tag)) return nullptr;
    if (schema >= kFieldSettingsSchema &&
        (!ar_.GetI16(tag->byteOrder) || !ar_.GetI16(tag->registerBit))) {
        return nullptr;
    }
    return tag;
}

bool ConfigFileReader::ReadScaling(OModbusTag& tag) {
    std::uint16_t s = 0;
    if (tag.dataType == VT_BOOL) {
        auto* scaling = dynamic_cast<OBinaryData*>(tag.scaling.get());
        return scaling != nullptr && ar_.GetClass("OBinaryData", s) &&
               ar_.GetU16(scaling->conversion) && ar_.GetU32(scaling->initValue);
    }
    auto* scaling = dynamic_cast<OAnalogData*>(tag.scaling.get());
    if (scaling == nullptr || !ar_.GetClass("OAnalogData", s)) return false;
    bool ok = ar_.GetU16(scaling->conversion) && ar_.GetDouble(scaling->initValue) &&
              ar_.GetDouble(scaling->engineeringMinimum) &&
              ar_.GetDouble(scaling->engineeringMaximum) && ar_.GetDouble(scaling->rawMinimum) &&
              ar_.GetDouble(scaling->rawMaximum) && ar_.GetText(scaling->units);
    if (ok && s >= 5)
        ok = ar_.GetDouble(scaling->lowProcess) && ar_.GetDouble(scaling->highProcess);
    return ok;
}

bool ConfigFileReader::ReadAlarm(OModbusTag& tag) {
    std::uint16_t s = 0;
    if (tag.dataType == VT_BOOL) {
        auto* alarm = dynamic_cast<OBinaryAlarm*>(tag.alarm.get());
        if (alarm == nullptr || !ar_.GetClass("OBinaryAlarm", s)) return false;
        bool ok = ar_.GetU16(alarm->enableFlags) && ar_.GetU16(alarm->acknowledgeFlags) &&
                  ar_.GetU16(alarm->normalPriority) && ar_.GetText(alarm->normalText) &&
                  ar_.GetU16(alarm->alarmPriority) && ar_.GetText(alarm->alarmText);
        if (ok && s >= 2) {
            ok = ar_.GetText(alarm->source) && ar_.GetU32(alarm->userCondition) &&
                 ar_.GetU32(alarm->attributeFlag);
        } else {
            alarm->attributeFlag = 0;
        }
        if (ok && s >= 9) ok = ReadAlarmBase(tag);
        return ok;
    }
    auto* alarm = dynamic_cast<OAnalogAlarm*>(tag.alarm.get());
    if (alarm == nullptr || !ar_.GetClass("OAnalogAlarm", s)) return false;
    bool ok = ar_.GetU16(alarm->enableFlags) && ar_.GetU16(alarm->acknowledgeFlags) &&
              ar_.GetU16(alarm->normalPriority) && ar_.GetText(alarm->normalText);
    for (auto& priority : alarm->levelPriority) ok = ok && ar_.GetU16(priority);
    for (auto& text : alarm->levelText) ok = ok && ar_.GetText(text);
    for (auto& limit : alarm->levelLimit) ok = ok && ar_.GetDouble(limit);
    if (ok && s >= 9) ok = ReadAlarmBase(tag);
    if (ok && s >= kFieldSettingsSchema)
        ok = ar_.GetDouble(alarm->deadband) && ar_.GetU32(alarm->onDelay);
    return ok;
}

bool ConfigFileReader::ReadAlarmBase(OModbusTag& tag) {
    std::uint16_t s = 0;
    return ar_.GetClass("OTagAlarm", s) && ar_.GetText(tag.alarm->area) &&
           ar_.GetI32(tag.alarm->alarmClass);
}

}  // namespace velk
