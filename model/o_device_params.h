#pragma once
// The parameters of a device: ports or IP addresses of its two channels, slave address,
// scan periods, supervision and event-buffer options.
#include <cstdint>
#include <string>

#include "model/o_object.h"

namespace velk {

class OPort;

class ODeviceParams final : public OObject {
  public:
    const char* GetRuntimeClass() const override { return "ODeviceParams"; }

    // The supervisor time in effect: a stored 0 means 1000 ms.
    std::uint16_t EffectiveSupervisorTime() const {
        return supervisorTime == 0 ? 1000 : supervisorTime;
    }

    std::string primaryPortName = "COM1";
    OPort* primaryPort = nullptr;  // bound by name
    std::string secondaryPortName = "COM1";
    OPort* secondaryPort = nullptr;
    std::uint8_t slaveAddress = 1;
    std::uint32_t tagScan = 5000;    // ms
    std::uint32_t eventScan = 1000;  // ms
    std::uint32_t timeout = 100;     // ms
    std::int16_t reserved = 0;
    std::int16_t wordSwap = 0;
    std::int16_t eventArea = 0;   // 0 master #1, 1 master #2
    std::int16_t deviceType = 0;  // 0 General, 1 Kestrel, 2 Tessera
    std::uint16_t timeSync = 0;   // low 15 bits minutes (0..1440); bit 15 at start-up
    std::int32_t initiallyReadEventStatus = 1;
    std::int32_t readEventStatusAfterCommFailure = 0;
    std::int32_t modbusTcp = 0;
    std::string primaryIpAddress = "0.0.0.0";
    std::string secondaryIpAddress = "0.0.0.0";
    std::string primaryGatewayAddress = "0.0.0.0";
    std::string secondaryGatewayAddress = "0.0.0.0";
    std::uint16_t supervisorTime = 0;  // ms; 0 reads as 1000
    std::int16_t supervisorRetries = 5;

    // Field settings for controllers and gateways that need them (device_field_settings.h):
    // stored from schema 13 on, and only those that differ from these defaults.
    std::int32_t forceMultipleRegisterWrite = 0;  // 1: function code 16 for one register too
    std::int32_t forceMultipleCoilWrite = 0;      // 1: function code 15 for one coil too
    std::int32_t maxReadRegisters = 123;          // registers per read request
    std::int32_t maxReadBits = 495;               // bits per read request
    std::int32_t maxBlockGap = -1;      // unused registers or bits that still join; -1 by type
    std::int32_t requestPause = 0;      // ms between the end of one exchange and the next request
    std::int32_t connectDelay = 0;      // ms after a TCP connection opens, before its first request
    std::int32_t backoffFailures = 0;   // failed exchanges in a row before the back-off; 0 none
    std::int32_t backoffCycles = 10;    // while backed off, one poll cycle in this many
    std::int32_t sharedConnection = 0;  // 1: one TCP connection with devices at its address
    std::int32_t rtuOverTcp = 0;  // 1: RTU frames on the TCP connection (serial device servers)
    // Non-zero: the controller takes function code 22 (mask write register), so a register
    // bit is written in one request instead of a read and a write back.
    std::int32_t maskWrite = 0;
};

}  // namespace velk
