#pragma once
// Where a controller keeps its event buffer (holding registers), by device type and master
// area, and how the buffer is read in chunks.
#include <cstdint>

namespace velk {

// Device types of the configuration.
inline constexpr int kDeviceTypeGeneral = 0;
inline constexpr int kDeviceTypeKestrel = 1;
inline constexpr int kDeviceTypeTessera = 2;

// The "EventStack" settings that place the buffer of a "General" device.
struct EventBufferSettings {
    std::uint16_t master1 = 3072;  // 0x0C00
    std::uint16_t master2 = 3584;  // 0x0E00
    std::uint16_t size = 62;       // records; the buffer has 4 registers per record
};

struct EventBufferLocation {
    std::uint16_t base = 0;  // first holding register
    std::uint16_t size = 0;  // registers
};

// eventArea 0 is Master 1, 1 Master 2. An unknown device type is treated as "General".
EventBufferLocation EventBufferLocationFor(int deviceType, int eventArea,
                                           const EventBufferSettings& settings = {});

// Registers per read: ((size + 7) / 2) rounded down to a multiple of 4, and never more than
// one read may carry (124 for 248 registers, 64 for 124).
std::uint16_t EventChunkSize(std::uint16_t bufferSize);

}  // namespace velk
