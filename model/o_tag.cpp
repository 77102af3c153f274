#include "model/o_tag.h"

#include "model/o_analog_alarm.h"
#include "model/o_analog_data.h"
#include "model/o_binary_alarm.h"
#include "model/o_binary_data.h"
#include "model/o_tag_group.h"
#include "model/object_id.h"

namespace velk {
namespace {

std::unique_ptr<OTagData> NewScaling(bool forBool) {
    if (forBool) return std::make_unique<OBinaryData>();
    return std::make_unique<OAnalogData>();
}

std::unique_ptr<OTagAlarm> NewAlarm(bool forBool) {
    if (forBool) return std::make_unique<OBinaryAlarm>();
    return std::make_unique<OAnalogAlarm>();
}

}  // namespace

OTag::OTag(FileTime creationTime)
    : id(TakeNextObjectId()),
      timestamp(creationTime),
      scaling(NewScaling(true)),
      alarm(NewAlarm(true)) {}

bool OTag::IsBool() const { return dataType == VT_BOOL; }

HRESULT OTag::SetValue(const Variant& raw) {
    if (!scaling || scaling->conversion == 0 || dataType == VT_BSTR) {
        value = raw;
        return S_OK;
    }
    Variant converted = raw;
    const HRESULT hr = converted.ChangeType(IsBool() ? VT_BOOL : VT_R8);
    if (Failed(hr)) {
        value = raw;  // the raw value stays when it has no engineering value
        return hr;
    }
    scaling->RawToEng(converted);
    value = std::move(converted);
    return S_OK;
}

Variant OTag::GetValue() const {
    if (value.Type() == VT_UI2) return Variant::Int32(value.AsUInt16());
    return value;
}

void OTag::SetDataType(std::uint16_t type) {
    dataType = type;
    MatchObjectsToType();
}

void OTag::MatchObjectsToType() {
    const bool forBool = IsBool();
    const bool scalingMatches =
        scaling && (forBool ? dynamic_cast<OBinaryData*>(scaling.get()) != nullptr
                            : dynamic_cast<OAnalogData*>(scaling.get()) != nullptr);
    if (!scalingMatches) scaling = NewScaling(forBool);
    const bool alarmMatches =
        alarm && (forBool ? dynamic_cast<OBinaryAlarm*>(alarm.get()) != nullptr
                          : dynamic_cast<OAnalogAlarm*>(alarm.get()) != nullptr);
    if (!alarmMatches) alarm = NewAlarm(forBool);
}

void OTag::CopyFrom(const OTag& source) {
    if (&source == this) return;
    name = source.name;
    description = source.description;
    dataType = source.dataType;
    reserved = source.reserved;
    accessRights = source.accessRights;
    timestamp = source.timestamp;
    defaultDisplay = source.defaultDisplay;
    value = source.value;
    const bool forBool = source.IsBool();
    scaling = NewScaling(forBool);
    if (source.scaling) scaling->CopyAll(*source.scaling);
    alarm = NewAlarm(forBool);
    if (source.alarm) alarm->CopyAll(*source.alarm);
}

void OTag::Acknowledge(FileTime when) {
    acknowledgeState = kAckStateAcknowledged;
    acknowledgeTime = when;
}

std::string OTag::GetTypeName() const { return DataTypeName(dataType); }

std::string OTag::GetFullPath(const std::string& delimiter) const {
    if (group == nullptr) return name;
    return group->GetPathPrefix(delimiter) + name;
}

std::string DataTypeName(std::uint16_t type) {
    switch (type) {
        case VT_BOOL:
            return "BOOL";
        case VT_I2:
            return "INT";
        case VT_UI2:
            return "UINT";
        case VT_I4:
            return "LONG";
        case VT_UI4:
            return "ULONG";
        case VT_R4:
            return "REAL";
        case VT_I8:
            return "LLONG";
        case VT_UI8:
            return "ULLONG";
        case VT_R8:
            return "DOUBLE";
        case VT_BSTR:
            return "STRING";
        default:
            return "???";
    }
}

std::uint16_t DataTypeRegisters(std::uint16_t type) {
    switch (type) {
        case VT_BOOL:
        case VT_I2:
        case VT_UI2:
            return 1;
        case VT_I4:
        case VT_UI4:
        case VT_R4:
            return 2;
        case VT_I8:
        case VT_UI8:
            return 4;
        default:
            return 0;
    }
}

}  // namespace velk
