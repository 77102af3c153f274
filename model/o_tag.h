#pragma once
// What every tag has: identity, data type, access rights, the live value record, the
// condition state, the scaling and the alarm. Configuration fields change on the main
// thread; the value record and the condition state only under TagDataLock.
#include <cstdint>
#include <memory>
#include <string>

#include "model/o_object.h"
#include "model/o_tag_alarm.h"
#include "model/o_tag_data.h"
#include "model/variant.h"
#include "platform/clock.h"
#include "platform/hresult.h"

namespace velk {

class ODevice;
class OTagGroup;

// OPC qualities written by the system.
inline constexpr std::uint16_t kQualityUncertain = 0x0040;  // never read
inline constexpr std::uint16_t kQualityGood = 0x00C0;
inline constexpr std::uint16_t kQualityCommFailure = 0x0018;
inline constexpr std::uint16_t kQualityBad = 0x0000;
inline constexpr std::uint16_t kQualityOutOfService = 0x001C;  // inactive DA items

// Access-right bits.
inline constexpr std::uint16_t kAccessReadable = 0x0001;
inline constexpr std::uint16_t kAccessWritable = 0x0002;

// The result of a write that the tag's access rights or its location do not allow; the DA
// server hands it to the client as OPC_E_BADRIGHTS.
inline constexpr HRESULT kTagNotWritable = MakeResult(0xC0040006u);

class OTag : public OObject {
  public:
    // A new tag: next id, BOOL, readable, quality 0x0040, time stamp = creation time,
    // normal binary scaling and a disabled binary alarm.
    explicit OTag(FileTime creationTime = 0);
    OTag(const OTag&) = delete;
    OTag& operator=(const OTag&) = delete;

    const char* GetRuntimeClass() const override { return "OTag"; }

    // Stores a raw value and applies the scaling (not to STRING tags, not with conversion 0).
    // A failed type change leaves the value as stored and is returned; S_OK otherwise.
    HRESULT SetValue(const Variant& raw);
    // A copy of the value; UINT values come back as LONG.
    Variant GetValue() const;

    // Sets the data type; moving between BOOL and any other type replaces the scaling and
    // the alarm by objects of the right class with default settings.
    void SetDataType(std::uint16_t type);
    // Replaces scaling or alarm objects whose class does not match the data type.
    void MatchObjectsToType();

    // The copy rule of paste, overwrite and duplication: configuration, time stamp and
    // value; quality, device, group, id and OPC reference count stay.
    virtual void CopyFrom(const OTag& source);

    // The acknowledgement of the tag's condition: state 0, acknowledge time T; the alarm
    // state and the other times stay.
    void Acknowledge(FileTime when);

    std::string GetTypeName() const;
    // The full path: the group's path prefix then the name.
    std::string GetFullPath(const std::string& delimiter) const;
    bool IsBool() const;

    // Configuration and value record, in declaration order.
    std::uint32_t id = 0;
    std::string name;
    std::string description;
    std::uint16_t dataType = 11;  // BOOL
    Variant value;
    std::uint16_t quality = kQualityUncertain;
    std::uint16_t accessRights = kAccessReadable;
    FileTime timestamp = 0;
    // Condition state (alarm evaluation and acknowledgement; not stored).
    std::uint16_t alarmState = 0;
    std::uint16_t acknowledgeState = 0;
    std::uint16_t subconditionIndex = 0;
    FileTime activeTime = 0;
    FileTime acknowledgeTime = 0;
    FileTime normalTime = 0;
    // A limit level exceeded but not yet active (its alarm's on-delay runs) and since when.
    std::uint16_t pendingState = 0;
    FileTime pendingSince = 0;

    std::int32_t reserved = 1;
    std::unique_ptr<OTagData> scaling;
    std::unique_ptr<OTagAlarm> alarm;
    ODevice* device = nullptr;
    OTagGroup* group = nullptr;
    std::string defaultDisplay;
    std::int32_t opcReferenceCount = 0;
};

// The name of a data type code ("BOOL", "INT", ... or "???").
std::string DataTypeName(std::uint16_t type);
// Number of registers a type takes (0 for DOUBLE and STRING, whose sizes are set elsewhere).
std::uint16_t DataTypeRegisters(std::uint16_t type);

}  // namespace velk
