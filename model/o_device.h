#pragma once
// A device: one Modbus slave, itself a group of tags and nested groups, with its parameters,
// its four communication alarms and the scan lists that acquisition reads.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "model/locks.h"
#include "model/o_device_alarm.h"
#include "model/o_device_params.h"
#include "model/o_tag_group.h"
#include "model/tag_list.h"
#include "platform/clock.h"

namespace velk {

class OPort;

// Codes of the four communication alarms, the alarm at index code - 1.
inline constexpr std::uint16_t kAlarmPort1 = 1;
inline constexpr std::uint16_t kAlarmPort2 = 2;
inline constexpr std::uint16_t kAlarmCommunication = 3;
inline constexpr std::uint16_t kAlarmBufferOverrun = 4;

// Status bits of the channels.
inline constexpr std::uint16_t kPrimaryChannelFailed = 0x0001;
inline constexpr std::uint16_t kSecondaryChannelFailed = 0x0002;
inline constexpr std::uint16_t kOverrunActive = 4;

class ODevice final : public OTagGroup {
  public:
    // creationTime: when the device came into being (added, loaded or imported); the
    // supervision ignores exchange results for its first 5 s from then.
    explicit ODevice(FileTime creationTime = 0);
    ODevice(const ODevice&) = delete;
    ODevice& operator=(const ODevice&) = delete;

    const char* GetRuntimeClass() const override { return "ODevice"; }
    ODevice* GetDevice() override { return this; }
    bool IsDevice() const override { return true; }

    // The communication alarm of a code 1..4; null for other codes.
    ODeviceAlarm* AlarmOfCode(std::uint16_t code);
    // The code (1..4) of one of this device's alarms, 0 when it is not one of them.
    std::uint16_t CodeOfAlarm(const ODeviceAlarm* alarm) const;

    // Sets each port reference to the port of the same name (exact comparison; the last of
    // several wins); a reference without a matching port keeps its previous value.
    void BindPorts(const std::vector<OPort*>& ports);

    // The locks of the document the device belongs to. The document hands the device its
    // own when the device joins the tree, before any thread reads the device; a device
    // outside a document (a test's, a benchmark's) is guarded by locks of its own.
    ModelLocks& Locks() const { return *locks_; }
    void UseLocks(ModelLocks& locks) { locks_ = &locks; }

    // Keeps the tag in the event-signal list exactly when it is an event signal and in the
    // alarm list exactly when its alarm is enabled (takes TagDataLock).
    void UpdateScanLists(OModbusTag* tag);
    // Takes the tag out of both scan lists (takes TagDataLock).
    void RemoveFromScanLists(const OModbusTag* tag);

    ODeviceParams params;
    std::array<ODeviceAlarm, 4> communicationAlarms;  // port #1, port #2, comm., overrun
    std::int32_t simulationEnabled = 0;
    std::int32_t activeChannel = 0;  // 0 primary
    std::int32_t importMark = 1;     // set at construction; cleared by load and import ends

    // Runtime state shared with acquisition.
    TagList eventSignalScanList;     // its Event Signal tags, location order
    TagList alarmScanList;           // its tags with an enabled alarm, location order
    std::uint16_t statusBits = 0;    // primary / secondary channel failed
    FileTime statusTime = 0;         // time of the last status evaluation
    FileTime creationTime = 0;       // not stored; 0 when unknown
    std::uint16_t overrunState = 0;  // 0, or 4 while the event buffer overflowed

  private:
    mutable ModelLocks ownLocks_;
    ModelLocks* locks_ = &ownLocks_;
};

}  // namespace velk
