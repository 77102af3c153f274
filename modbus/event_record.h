#pragma once
// One record of a controller's event buffer: 8 bytes (4 registers) giving a signal number,
// its new state and the time of the change, without a date.
#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace velk {

inline constexpr std::uint16_t kEventOverrunMark = 0xFFFF;
inline constexpr std::uint16_t kEventEndMark = 0xEEEE;
inline constexpr std::size_t kEventRecordBytes = 8;
inline constexpr std::size_t kEventRecordRegisters = 4;

struct EventRecord {
    std::uint16_t signal = 0;  // or one of the marks
    bool state = false;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;  // 0..999
    bool operator==(const EventRecord&) const = default;
};

// Bytes in answer order: signal (high, low), state, ms mod 100, ms div 100, s, min, h.
std::array<std::uint8_t, kEventRecordBytes> EncodeEventRecord(const EventRecord& record);
// The same bytes as four holding registers (byte 0 the high byte of register 0).
std::array<std::uint16_t, kEventRecordRegisters> EventRecordRegisters(const EventRecord& record);
// Reads a record from eight bytes; none when fewer are given. Any non-zero state byte is true.
std::optional<EventRecord> DecodeEventRecord(std::span<const std::uint8_t> bytes);

}  // namespace velk
