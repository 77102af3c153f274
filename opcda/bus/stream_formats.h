#pragma once
// The 1.0 stream formats by the names that clients use on the bus.
#include <cstdint>
#include <string>

#include "opcda/opc_da_types.h"

namespace velk::dabus {

// The format number of a name; 0 for a name that is none of the three.
inline std::uint32_t StreamFormatOf(const std::string& name) {
    if (name == kFormatDataName) return kFormatData;
    if (name == kFormatDataTimeName) return kFormatDataTime;
    if (name == kFormatWriteCompleteName) return kFormatWriteComplete;
    return 0;
}

// The name of a format number; "" for a number that is none of the three.
inline std::string StreamFormatName(std::uint32_t format) {
    switch (format) {
        case kFormatData:
            return kFormatDataName;
        case kFormatDataTime:
            return kFormatDataTimeName;
        case kFormatWriteComplete:
            return kFormatWriteCompleteName;
        default:
            return {};
    }
}

}  // namespace velk::dabus
