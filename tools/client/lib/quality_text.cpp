#include "tools/client/lib/quality_text.h"

#include <cstdio>

namespace velk::client {
namespace {

// Sub-status texts by the four sub-status bits (bits 2..5), per quality; nullptr where the
// OPC standard defines none.
constexpr const char* kBadStatus[16] = {
    nullptr,          "config error",   "not connected",
    "device failure", "sensor failure", "last known value",
    "comm failure",   "out of service", "waiting for initial data"};
constexpr const char* kUncertainStatus[16] = {
    nullptr,     "last usable value", nullptr, nullptr, "sensor not accurate", "EU units exceeded",
    "sub-normal"};
constexpr const char* kGoodStatus[16] = {nullptr, nullptr, nullptr,         nullptr,
                                         nullptr, nullptr, "local override"};

}  // namespace

std::string QualityText(std::uint16_t quality) {
    const unsigned status = (quality >> 2) & 0x0F;
    std::string text;
    const char* detail = nullptr;
    switch ((quality >> 6) & 0x03) {
        case 0:
            text = "bad";
            detail = kBadStatus[status];
            break;
        case 1:
            text = "uncertain";
            detail = kUncertainStatus[status];
            break;
        case 3:
            text = "good";
            detail = kGoodStatus[status];
            break;
        default:
            text = "not applicable";
            break;
    }
    if (detail) {
        text += " (";
        text += detail;
        text += ')';
    } else if (status != 0 && ((quality >> 6) & 0x03) != 2) {
        char number[24];
        std::snprintf(number, sizeof number, " (sub-status %u)", status);
        text += number;
    }
    switch (quality & 0x03) {
        case 1:
            text += ", low limited";
            break;
        case 2:
            text += ", high limited";
            break;
        case 3:
            text += ", constant";
            break;
        default:
            break;
    }
    // The vendor byte is not the OPC standard's; show it as a number so nothing is lost.
    if (quality > 0xFF) {
        char vendor[24];
        std::snprintf(vendor, sizeof vendor, ", vendor 0x%02X", quality >> 8);
        text += vendor;
    }
    return text;
}

}  // namespace velk::client
