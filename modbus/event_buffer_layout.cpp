#include "modbus/event_buffer_layout.h"

#include <algorithm>

namespace velk {
namespace {

// Largest multiple of 4 registers that one read answer can carry (125 registers).
constexpr std::uint16_t kMaxChunk = 124;

}  // namespace

EventBufferLocation EventBufferLocationFor(int deviceType, int eventArea,
                                           const EventBufferSettings& settings) {
    const bool master2 = eventArea == 1;
    switch (deviceType) {
        case kDeviceTypeKestrel:
            return {static_cast<std::uint16_t>(master2 ? 0x0E00 : 0x0C00), 248};
        case kDeviceTypeTessera:
            return {static_cast<std::uint16_t>(master2 ? 0x0EA0 : 0x0CA0), 124};
        default:
            break;
    }
    const std::uint32_t registers = 4u * settings.size;
    return {master2 ? settings.master2 : settings.master1,
            static_cast<std::uint16_t>(std::min<std::uint32_t>(registers, 0xFFFC))};
}

std::uint16_t EventChunkSize(std::uint16_t bufferSize) {
    const std::uint32_t half = (std::uint32_t{bufferSize} + 7) / 2;
    const auto chunk = static_cast<std::uint16_t>(half - half % 4);
    return std::min(chunk, kMaxChunk);
}

}  // namespace velk
