#include "modbus/lrc.h"

namespace velk {

std::uint8_t Lrc(std::span<const std::uint8_t> bytes) {
    std::uint8_t sum = 0;
    for (std::uint8_t byte : bytes) {
        sum = static_cast<std::uint8_t>(sum + byte);
    }
    return static_cast<std::uint8_t>(-sum);
}

}  // namespace velk
