// The Linux names of the serial lines behind the configuration's port names.
#include <charconv>

#include "platform/serial_port.h"
#include "platform/text.h"

namespace velk {
namespace {

// The number n of "COMn", 0 when the name is not of that form.
unsigned ComNumber(std::string_view name) {
    if (name.size() < 4 || !EqualsNoCase(name.substr(0, 3), "COM")) return 0;
    unsigned number = 0;
    auto digits = name.substr(3);
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (error != std::errc{} || end != digits.data() + digits.size()) return 0;
    return number >= 1 && number <= 256 ? number : 0;
}

}  // namespace

std::string SerialPortDevicePath(std::string_view portName) {
    if (unsigned n = ComNumber(portName); n != 0) return "/dev/ttyS" + std::to_string(n - 1);
    if (!portName.empty() && portName.front() == '/') return std::string(portName);
    return "/dev/" + std::string(portName);
}

}  // namespace velk
