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

std::string OModbusTag::GetLocationName() const { return LocationKindName(locationKind); }

std::string OModbusTag::GetAddressText() const {
    char buffer[16];
    const unsigned shown = static_cast<unsigned>(address) + 1;
    switch (locationKind) {
    case kInputStatus: std::snprintf(buffer, sizeof buffer, "%06u", 100000u + shown); break;
    case kOutputCoil: std::snprintf(buffer, sizeof buffer, "%06u", shown); break;
    case kInputRegister: std::snprintf(buffer, sizeof buffer, "%06u", 300000u + shown); break;
    case kHoldingRegister: std::snprintf(buffer, sizeof buffer, "%06u", 400000u + shown); break;
    case kEventSignal: std::snprintf(buffer, sizeof buffer, "E%05u", shown); break;
    default: return {};
    }
    return buffer;
}

std::string OModbusTag::GetSimulationName() const { return SimulationKindName(simulationKind); }

std::string LocationKindName(std::int32_t kind) {
    switch (kind) {
    case kInputStatus: return "Input Status";
    case kOutputCoil: return "Output Coil";
    case kInputRegister: return "Input Register";
    case kHoldingRegister: return "Holding Register";
    case kEventSignal: return "Event Signal";
    default: return {};
    }
}

std::string SimulationKindName(std::int16_t kind) {
    switch (kind) {
    case kSimulationNone: return "None";
    case kSimulationRamp: return "Ramp";
    case kSimulationSine: return "Sine";
    case kSimulationRandom: return "Random";
    default: return {};
    }
}

}  // namespace velk
