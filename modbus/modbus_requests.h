#pragma once
// Every request that the server sends to a controller, with the exact length of the answer
// it expects. The builders take plain parameters so that the device can call them with its
// own slave address and framing. Each returns a finished message (complete set), or nullptr
// when the parameters cannot form a valid request (count out of range, address overflow).
#include <cstdint>
#include <memory>
#include <span>

#include "modbus/message_framing.h"
#include "modbus/o_message.h"
#include "platform/clock.h"

namespace velk {

namespace function_code {
inline constexpr std::uint8_t kReadCoils = 1;
inline constexpr std::uint8_t kReadDiscreteInputs = 2;
inline constexpr std::uint8_t kReadHoldingRegisters = 3;
inline constexpr std::uint8_t kReadInputRegisters = 4;
inline constexpr std::uint8_t kWriteSingleCoil = 5;
inline constexpr std::uint8_t kWriteSingleRegister = 6;
inline constexpr std::uint8_t kDiagnostics = 8;
inline constexpr std::uint8_t kWriteMultipleCoils = 15;
inline constexpr std::uint8_t kWriteMultipleRegisters = 16;
inline constexpr std::uint8_t kMaskWriteRegister = 22;
inline constexpr std::uint8_t kTimeSync = 70;
}  // namespace function_code

// Largest counts that one request may carry.
inline constexpr std::uint16_t kMaxReadBits = 2000;
inline constexpr std::uint16_t kMaxReadRegisters = 125;
inline constexpr std::uint16_t kMaxWriteRegisters = 123;

// The event-signal coils start here: signal n is coil 0x0800 + n.
inline constexpr std::uint16_t kEventSignalCoilBase = 0x0800;
// A "Tessera" controller answers the state of signals 0 to 639 in one read.
inline constexpr std::uint16_t kStatusSignalCount = 640;
// Sub-function 0 (return query data) and the data word of the diagnostic probe.
inline constexpr std::uint16_t kDiagnosticSubFunction = 0x0000;
inline constexpr std::uint16_t kDiagnosticData = 0xF0F0;
// The time synchronisation goes to every slave.
inline constexpr std::uint8_t kBroadcastAddress = 0;

// Modbus location kinds of a block read.
enum class ReadArea { kInputStatus, kOutputCoil, kInputRegister, kHoldingRegister, kEventSignal };

// Reads count bits or registers from start (0-based). For kEventSignal, start is the
// signal number of the first tag and the request reads the coils from 0x0800 + start.
std::unique_ptr<OMessage> BuildReadRequest(MessageFraming framing, std::uint8_t slave,
                                           ReadArea area, std::uint16_t start, std::uint16_t count);

// The state of event signals 0 to 639: 640 coils from 0x0800.
std::unique_ptr<OMessage> BuildStatusRequest(MessageFraming framing, std::uint8_t slave);

// count registers of the event buffer from base + offset (function code 3).
std::unique_ptr<OMessage> BuildEventBufferRequest(MessageFraming framing, std::uint8_t slave,
                                                  std::uint16_t base, std::uint16_t offset,
                                                  std::uint16_t count);

// Function code 8, sub-function 0 with data 0xF0F0; the answer echoes the request.
std::unique_ptr<OMessage> BuildDiagnosticRequest(MessageFraming framing, std::uint8_t slave);

// Function code 5 with 0xFF00 (set) or 0x0000 (clear).
std::unique_ptr<OMessage> BuildWriteCoilRequest(MessageFraming framing, std::uint8_t slave,
                                                std::uint16_t address, bool set);

// Function code 6.
// Function code 15 for one coil, for controllers that take no function code 5.
std::unique_ptr<OMessage> BuildWriteOneCoilAsMultipleRequest(MessageFraming framing,
                                                             std::uint8_t slave,
                                                             std::uint16_t address, bool set);
std::unique_ptr<OMessage> BuildWriteRegisterRequest(MessageFraming framing, std::uint8_t slave,
                                                    std::uint16_t address, std::uint16_t value);

// Function code 16 with 1 to 123 registers.
std::unique_ptr<OMessage> BuildWriteRegistersRequest(MessageFraming framing, std::uint8_t slave,
                                                     std::uint16_t address,
                                                     std::span<const std::uint16_t> values);

// Function code 22: the register becomes (value AND andMask) OR (orMask AND NOT andMask).
std::unique_ptr<OMessage> BuildMaskWriteRegisterRequest(MessageFraming framing, std::uint8_t slave,
                                                        std::uint16_t address,
                                                        std::uint16_t andMask,
                                                        std::uint16_t orMask);

// Function code 70 to the broadcast address with the byte 8 and the local time: ms mod 100,
// ms div 100, second, minute, hour, day, month, year mod 100. Answered (9 bytes) over TCP
// only; on serial lines the answer length is 0.
std::unique_ptr<OMessage> BuildTimeSyncRequest(MessageFraming framing, const LocalTime& local);

}  // namespace velk
