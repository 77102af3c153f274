#include "tools/velkopc_config/config_dump.h"

#include <cstdio>
#include <sstream>

#include "model/c_doc.h"
#include "model/device_field_settings.h"
#include "model/o_analog_alarm.h"
#include "model/o_analog_data.h"
#include "model/o_binary_alarm.h"
#include "model/o_binary_data.h"
#include "model/o_device.h"
#include "model/o_device_alarm.h"
#include "model/o_modbus_tag.h"
#include "model/o_port.h"
#include "model/o_tag_group.h"

namespace velk {
namespace {

const char* const kAlarmNames[] = {"port #1 alarm", "port #2 alarm", "communication alarm",
                                   "event buffer overrun alarm"};
const char* const kLevelNames[] = {"LoLo", "Low", "High", "HiHi"};

std::string Quote(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || u == 0x7F) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\x%02X", u);
            out += buffer;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string Number(double value) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", value);
    return buffer;
}

std::string Hex(unsigned value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%04X", value);
    return buffer;
}

class Dumper {
  public:
    explicit Dumper(const CDoc& document) : doc_(document) {}

    std::string Run() {
        Line(0, "nextDeviceNumber", std::to_string(doc_.nextDeviceNumber));
        Line(0, "ports", std::to_string(doc_.portList.size()));
        for (const auto& port : doc_.portList) Port(*port);
        Line(0, "root group", Quote(doc_.rootGroup.name));
        Line(1, "description", Quote(doc_.rootGroup.description));
        Line(1, "nextTagNumber", std::to_string(doc_.rootGroup.nextTagNumber));
        Line(1, "devices", std::to_string(doc_.rootGroup.subgroupList.size()));
        for (const auto& sub : doc_.rootGroup.subgroupList) {
            if (const auto* device = dynamic_cast<const ODevice*>(sub.get())) Device(*device);
        }
        Line(0, "document tags", std::to_string(doc_.documentTagList.size()));
        return out_.str();
    }

  private:
    void Line(int depth, const std::string& key, const std::string& value) {
        out_ << std::string(static_cast<std::size_t>(2 * depth), ' ') << key << ':';
        if (!value.empty()) out_ << ' ' << value;
        out_ << '\n';
    }

    std::string PortRef(const OPort* port) const {
        for (std::size_t i = 0; i < doc_.portList.size(); ++i) {
            if (doc_.portList[i].get() == port) return "port " + std::to_string(i + 1);
        }
        return "none";
    }

    void Port(const OPort& p) {
        Line(1, "port", Quote(p.name));
        Line(2, "enabled", std::to_string(p.enabled));
        Line(2, "baud rate", std::to_string(p.baudRate));
        Line(2, "data bits", std::to_string(p.dataBits));
        Line(2, "stop bits", std::to_string(p.stopBits));
        Line(2, "parity", std::to_string(p.parity));
        Line(2, "flow control", std::to_string(p.flowControl));
        for (const PortFieldSetting& setting : PortFieldSettings())
            Line(2, setting.name, std::to_string(p.*setting.member));
    }

    void Device(const ODevice& d) {
        const ODeviceParams& p = d.params;
        Line(1, "device", Quote(d.name));
        Line(2, "description", Quote(d.description));
        Line(2, "nextTagNumber", std::to_string(d.nextTagNumber));
        Line(2, "activeChannel", std::to_string(d.activeChannel));
        Line(2, "simulation enabled", std::to_string(d.simulationEnabled));
        Line(2, "primary port name",
             Quote(p.primaryPortName) + " (" + PortRef(p.primaryPort) + ")");
        Line(2, "secondary port name",
             Quote(p.secondaryPortName) + " (" + PortRef(p.secondaryPort) + ")");
        Line(2, "slave address", std::to_string(p.slaveAddress));
        Line(2, "tag scan", std::to_string(p.tagScan));
        Line(2, "event scan", std::to_string(p.eventScan));
        Line(2, "timeout", std::to_string(p.timeout));
        Line(2, "reserved", std::to_string(p.reserved));
        Line(2, "word swap", std::to_string(p.wordSwap));
        Line(2, "event area", std::to_string(p.eventArea));
        Line(2, "device type", std::to_string(p.deviceType));
        Line(2, "time sync", Hex(p.timeSync));
        Line(2, "initially read event status", std::to_string(p.initiallyReadEventStatus));
        Line(2, "read event status after comm. failure",
             std::to_string(p.readEventStatusAfterCommFailure));
        Line(2, "Modbus TCP", std::to_string(p.modbusTcp));
        Line(2, "primary IP address", Quote(p.primaryIpAddress));
        Line(2, "secondary IP address", Quote(p.secondaryIpAddress));
        Line(2, "primary gateway address", Quote(p.primaryGatewayAddress));
        Line(2, "secondary gateway address", Quote(p.secondaryGatewayAddress));
        Line(2, "supervisor time", std::to_string(p.supervisorTime));
        Line(2, "supervisor retries", std::to_string(p.supervisorRetries));
        for (const DeviceFieldSetting& setting : DeviceFieldSettings())
            Line(2, setting.name, std::to_string(p.*setting.member));
        for (std::size_t i = 0; i < d.communicationAlarms.size(); ++i) {
            const ODeviceAlarm& a = d.communicationAlarms[i];
            Line(2, kAlarmNames[i], "");
            Line(3, "enable flags", Hex(a.enableFlags));
            Line(3, "acknowledge flags", Hex(a.acknowledgeFlags));
            Line(3, "normal priority", std::to_string(a.normalPriority));
            Line(3, "normal text", Quote(a.normalText));
            Line(3, "failure priority", std::to_string(a.failurePriority));
            Line(3, "failure text", Quote(a.failureText));
            Line(3, "source", Quote(a.source));
        }
        Line(2, "event-signal scan list", TagNames(d.eventSignalScanList));
        Line(2, "alarm scan list", TagNames(d.alarmScanList));
        Members(d, 2);
    }

    static std::string TagNames(const TagList& list) {
        std::string out = "[";
        for (const OModbusTag* tag : list) {
            if (out.size() > 1) out += ", ";
            out += Quote(tag->name);
        }
        return out + "]";
    }

    void Members(const OTagGroup& g, int depth) {
        Line(depth, "tags", std::to_string(g.tagList.size()));
        for (const auto& tag : g.tagList) Tag(*tag, depth + 1);
        Line(depth, "groups", std::to_string(g.subgroupList.size()));
        for (const auto& sub : g.subgroupList) {
            Line(depth + 1, "group", Quote(sub->name));
            Line(depth + 2, "description", Quote(sub->description));
            Line(depth + 2, "nextTagNumber", std::to_string(sub->nextTagNumber));
            Members(*sub, depth + 2);
        }
    }

    void Tag(const OModbusTag& t, int depth) {
        Line(depth, "tag", Quote(t.name));
        const int d = depth + 1;
        Line(d, "description", Quote(t.description));
        Line(d, "location",
             std::to_string(t.locationKind) + " " + Quote(t.GetLocationName()) + " at " +
                 std::to_string(t.address) + " (" + t.GetAddressText() + ")");
        Line(d, "size", std::to_string(t.size));
        Line(d, "simulation", std::to_string(t.simulationKind));
        Line(d, "data type", std::to_string(t.dataType) + " " + t.GetTypeName());
        Line(d, "reserved", std::to_string(t.reserved));
        Line(d, "access rights", std::to_string(t.accessRights));
        Line(d, "default display", Quote(t.defaultDisplay));
        // The field settings only where a tag sets them, so dumps of other files stay as they
        // were.
        if (t.byteOrder != kByteOrderDevice)
            Line(d, "byte order", std::to_string(t.byteOrder) + " " + ByteOrderName(t.byteOrder));
        if (t.registerBit != kNoRegisterBit) Line(d, "register bit", std::to_string(t.registerBit));
        if (const auto* s = dynamic_cast<const OBinaryData*>(t.scaling.get())) {
            Line(d, "scaling", "binary");
            Line(d + 1, "conversion", std::to_string(s->conversion));
            Line(d + 1, "init value", std::to_string(s->initValue));
        } else if (const auto* a = dynamic_cast<const OAnalogData*>(t.scaling.get())) {
            Line(d, "scaling", "analog");
            Line(d + 1, "conversion", std::to_string(a->conversion));
            Line(d + 1, "init value", Number(a->initValue));
            Line(d + 1, "engineering range",
                 Number(a->engineeringMinimum) + " .. " + Number(a->engineeringMaximum));
            Line(d + 1, "raw range", Number(a->rawMinimum) + " .. " + Number(a->rawMaximum));
            Line(d + 1, "units", Quote(a->units));
            Line(d + 1, "process limits", Number(a->lowProcess) + " .. " + Number(a->highProcess));
        }
        const OTagAlarm* alarm = t.alarm.get();
        if (alarm == nullptr) return;
        if (const auto* b = dynamic_cast<const OBinaryAlarm*>(alarm)) {
            Line(d, "alarm", "binary");
            AlarmBase(*alarm, d + 1);
            Line(d + 1, "alarm priority", std::to_string(b->alarmPriority));
            Line(d + 1, "alarm text", Quote(b->alarmText));
            Line(d + 1, "source", Quote(b->source));
            Line(d + 1, "user condition",
                 Hex(b->userCondition >> 16) + " " + Hex(b->userCondition & 0xFFFF));
            Line(d + 1, "attribute flag", std::to_string(b->attributeFlag));
        } else if (const auto* a = dynamic_cast<const OAnalogAlarm*>(alarm)) {
            Line(d, "alarm", "analog");
            AlarmBase(*alarm, d + 1);
            for (std::size_t i = 0; i < 4; ++i) {
                Line(d + 1, kLevelNames[i],
                     "priority " + std::to_string(a->levelPriority[i]) + ", limit " +
                         Number(a->levelLimit[i]) + ", text " + Quote(a->levelText[i]));
            }
            if (a->deadband != 0.0) Line(d + 1, "deadband", Number(a->deadband));
            if (a->onDelay != 0) Line(d + 1, "on-delay", std::to_string(a->onDelay) + " ms");
        }
    }

    void AlarmBase(const OTagAlarm& a, int depth) {
        Line(depth, "enable flags", Hex(a.enableFlags));
        Line(depth, "acknowledge flags", Hex(a.acknowledgeFlags));
        Line(depth, "normal priority", std::to_string(a.normalPriority));
        Line(depth, "normal text", Quote(a.normalText));
        Line(depth, "area", Quote(a.area));
        Line(depth, "class", std::to_string(a.alarmClass));
    }

    const CDoc& doc_;
    std::ostringstream out_;
};

}  // namespace

std::string DumpConfiguration(const CDoc& document) { return Dumper(document).Run(); }

}  // namespace velk
