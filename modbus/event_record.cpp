#include "modbus/event_record.h"

namespace velk {

std::array<std::uint8_t, kEventRecordBytes> EncodeEventRecord(const EventRecord& record) {
    const auto byteOf = [](int value) { return static_cast<std::uint8_t>(value & 0xFF); };
    return {static_cast<std::uint8_t>(record.signal >> 8),
            static_cast<std::uint8_t>(record.signal & 0xFF),
            static_cast<std::uint8_t>(record.state ? 1 : 0),
            byteOf(record.millisecond % 100),
            byteOf(record.millisecond / 100),
            byteOf(record.second),
            byteOf(record.minute),
            byteOf(record.hour)};
}

std::array<std::uint16_t, kEventRecordRegisters> EventRecordRegisters(const EventRecord& record) {
    const auto bytes = EncodeEventRecord(record);
    std::array<std::uint16_t, kEventRecordRegisters> registers{};
    for (std::size_t i = 0; i < kEventRecordRegisters; ++i) {
        registers[i] = static_cast<std::uint16_t>((bytes[2 * i] << 8) | bytes[2 * i + 1]);
    }
    return registers;
}

std::optional<EventRecord> DecodeEventRecord(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kEventRecordBytes) {
        return std::nullopt;
    }
    EventRecord record;
    record.signal = static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]);
    record.state = bytes[2] != 0;
    record.millisecond = bytes[4] * 100 + bytes[3];
    record.second = bytes[5];
    record.minute = bytes[6];
    record.hour = bytes[7];
    return record;
}

}  // namespace velk
