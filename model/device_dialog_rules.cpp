#include "model/device_dialog_rules.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>

#include "model/device_field_settings.h"

namespace velk {
namespace {

// A whole text as a number of the type, blanks around it allowed.
template <class T>
bool Parse(const std::string& text, T& out) {
    const std::size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return false;
    const std::size_t end = text.find_last_not_of(" \t") + 1;
    const char* first = text.data() + begin;
    if (*first == '+') ++first;
    const auto [ptr, ec] = std::from_chars(first, text.data() + end, out);
    return ec == std::errc() && ptr == text.data() + end;
}

constexpr std::uint32_t kMaxSupervisorTime = 0xFFFF;

std::string Between(long low, long high) {
    return "Enter an integer between " + std::to_string(low) + " and " + std::to_string(high) + ".";
}

}  // namespace

std::optional<std::string> ApplyDeviceDialogTexts(const DeviceDialogTexts& texts,
                                                  ODeviceParams& params) {
    std::int64_t address = 0;
    if (!Parse(texts.address, address) || address < 0 || address > 255)
        return "Enter an integer between 0 and 255.";
    if (address < 1) return Between(1, 255);

    std::uint32_t timeout = 0, tagScan = 0, eventScan = 0, supervisor = 0;
    for (auto [text, value] :
         {std::pair{&texts.timeout, &timeout}, std::pair{&texts.tagScan, &tagScan},
          std::pair{&texts.eventScan, &eventScan}, std::pair{&texts.supervisorTime, &supervisor}}) {
        if (text->find('-') != std::string::npos || !Parse(*text, *value))
            return "Enter a positive integer.";
    }
    // Kept in 16 bits: a larger entry would become another, shorter supervisor time.
    if (supervisor > kMaxSupervisorTime) return Between(0, kMaxSupervisorTime);

    std::uint32_t minutes = 0;
    if (texts.timeSyncMinutes.find('-') != std::string::npos ||
        !Parse(texts.timeSyncMinutes, minutes))
        return "Enter a positive integer.";
    if (minutes > 1440) return Between(0, 1440);

    std::int16_t retries = 0;
    if (!Parse(texts.supervisorRetries, retries)) return "Enter an integer.";

    params.slaveAddress = static_cast<std::uint8_t>(address);
    params.timeout = timeout;
    params.tagScan = tagScan;
    params.eventScan = eventScan;
    params.supervisorTime = static_cast<std::uint16_t>(supervisor);
    params.timeSync = static_cast<std::uint16_t>(minutes | (texts.timeSyncAtStartup ? 0x8000 : 0));
    params.supervisorRetries = retries;
    return std::nullopt;
}

std::map<std::uint16_t, std::string> FieldSettingTexts(const ODeviceParams& params) {
    std::map<std::uint16_t, std::string> texts;
    for (const DeviceFieldSetting& s : DeviceFieldSettings()) {
        if (s.flag) continue;
        const std::int32_t value = params.*s.member;
        texts[s.key] = value < 0 ? std::string() : std::to_string(value);
    }
    return texts;
}

std::optional<std::string> ApplyFieldSettingTexts(const std::map<std::uint16_t, std::string>& texts,
                                                  const std::map<std::uint16_t, bool>& checks,
                                                  ODeviceParams& params) {
    ODeviceParams result = params;
    for (const DeviceFieldSetting& s : DeviceFieldSettings()) {
        if (s.flag) {
            const auto it = checks.find(s.key);
            if (it != checks.end()) result.*s.member = it->second ? 1 : 0;
            continue;
        }
        const auto it = texts.find(s.key);
        if (it == texts.end()) continue;
        const std::string& text = it->second;
        // Only the block gap may stay empty: the device type's gaps.
        if (s.minimum < 0 && text.find_first_not_of(" \t") == std::string::npos) {
            result.*s.member = s.minimum;
            continue;
        }
        const std::int32_t low = std::max<std::int32_t>(s.minimum, 0);
        std::int64_t value = 0;
        if (!Parse(text, value) || value < low || value > s.maximum) return Between(low, s.maximum);
        result.*s.member = static_cast<std::int32_t>(value);
    }
    params = result;
    return std::nullopt;
}

}  // namespace velk

namespace velk {

void SetModbusTcpConnection(ODeviceParams& params, bool tcp) {
    params.modbusTcp = tcp ? 1 : 0;
    if (tcp) return;
    const ODeviceParams defaults;
    params.primaryIpAddress = defaults.primaryIpAddress;
    params.secondaryIpAddress = defaults.secondaryIpAddress;
    params.primaryGatewayAddress = defaults.primaryGatewayAddress;
    params.secondaryGatewayAddress = defaults.secondaryGatewayAddress;
}

}  // namespace velk
