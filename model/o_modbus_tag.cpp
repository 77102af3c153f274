#include "model/o_modbus_tag.h"

#include <cstdio>

namespace velk {

void OModbusTag::CopyFrom(const OTag& source) {
    if (&source == this) return;
    OTag::CopyFrom(source);
    if (const auto* s = dynamic_cast<const OModbusTag*>(&source)) {
        locationKind = s->locationKind;
        address = s->address;
        size = s->size;
        simulationKind = s->simulationKind;
        rampCounter = s->rampCounter;
    }
}

std::unique_ptr<OModbusTag> OModbusTag::Duplicate(FileTime creationTime) const {
    auto copy = std::make_unique<OModbusTag>(creationTime);
    copy->CopyFrom(*this);
    return copy;
}

void OModbusTag::ApplyLocationRules() {
    const bool bitLocation =
        locationKind == kInputStatus || locationKind == kOutputCoil || locationKind == kEventSignal;
    if (bitLocation) {
        SetDataType(VT_BOOL);
    } else if (dataType == VT_BOOL) {
        SetDataType(VT_I2);
    }
    if (locationKind == kInputStatus || locationKind == kInputRegister ||
        locationKind == kEventSignal) {
        accessRights = kAccessReadable;
    } else if (locationKind == kOutputCoil || locationKind == kHoldingRegister) {
        accessRights |= kAccessWritable;
    }
    if (const std::uint16_t registers = DataTypeRegisters(dataType)) size = registers;
}

bool OModbusTag::IsTypeAllowedAtLocation() const {
    switch (locationKind) {
        case kInputStatus:
        case kOutputCoil:
        case kEventSignal:
            return dataType == VT_BOOL;
        case kInputRegister:
        case kHoldingRegister:
            return dataType == VT_I2 || dataType == VT_UI2 || dataType == VT_I4 ||
                   dataType == VT_UI4 || dataType == VT_R4 || dataType == VT_BSTR;
        default:
            return false;
    }
}

std::string OModbusTag::GetLocationName() const { return LocationKindName(locationKind); }

std::string OModbusTag::GetAddressText() const {
    char buffer[16];
    const unsigned shown = static_cast<unsigned>(address) + 1;
    switch (locationKind) {
        case kInputStatus:
            std::snprintf(buffer, sizeof buffer, "%06u", 100000u + shown);
            break;
        case kOutputCoil:
            std::snprintf(buffer, sizeof buffer, "%06u", shown);
            break;
        case kInputRegister:
            std::snprintf(buffer, sizeof buffer, "%06u", 300000u + shown);
            break;
        case kHoldingRegister:
            std::snprintf(buffer, sizeof buffer, "%06u", 400000u + shown);
            break;
        case kEventSignal:
            std::snprintf(buffer, sizeof buffer, "E%05u", shown);
            break;
        default:
            return {};
    }
    return buffer;
}

std::string OModbusTag::GetSimulationName() const { return SimulationKindName(simulationKind); }

std::string LocationKindName(std::int32_t kind) {
    switch (kind) {
        case kInputStatus:
            return "Input Status";
        case kOutputCoil:
            return "Output Coil";
        case kInputRegister:
            return "Input Register";
        case kHoldingRegister:
            return "Holding Register";
        case kEventSignal:
            return "Event Signal";
        default:
            return {};
    }
}

std::string SimulationKindName(std::int16_t kind) {
    switch (kind) {
        case kSimulationNone:
            return "None";
        case kSimulationRamp:
            return "Ramp";
        case kSimulationSine:
            return "Sine";
        case kSimulationRandom:
            return "Random";
        default:
            return {};
    }
}

}  // namespace velk
