#include "model/o_modbus_tag.h"

#include <cstdio>

#include "platform/text.h"

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
        byteOrder = s->byteOrder;
        registerBit = s->registerBit;
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
        registerBit = kNoRegisterBit;
    } else if (dataType == VT_BOOL && registerBit == kNoRegisterBit) {
        SetDataType(VT_I2);
    }
    if (dataType != VT_BOOL) registerBit = kNoRegisterBit;
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
            if (dataType == VT_BOOL) return IsRegisterBit();
            return dataType == VT_I2 || dataType == VT_UI2 || dataType == VT_I4 ||
                   dataType == VT_UI4 || dataType == VT_R4 || dataType == VT_BSTR ||
                   dataType == VT_I8 || dataType == VT_UI8;
        default:
            return false;
    }
}

bool OModbusTag::IsRegisterBit() const {
    return dataType == VT_BOOL && registerBit >= 0 && registerBit <= kHighestRegisterBit &&
           (locationKind == kInputRegister || locationKind == kHoldingRegister);
}

std::int16_t OModbusTag::EffectiveByteOrder(bool deviceWordSwap) const {
    if (byteOrder >= kByteOrderABCD && byteOrder <= kByteOrderDCBA) return byteOrder;
    return deviceWordSwap ? kByteOrderABCD : kByteOrderCDAB;
}

bool OModbusTag::HasFieldSettings() const {
    return byteOrder != kByteOrderDevice || registerBit != kNoRegisterBit;
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

std::string ByteOrderName(std::int16_t order) {
    switch (order) {
        case kByteOrderABCD:
            return "ABCD";
        case kByteOrderCDAB:
            return "CDAB";
        case kByteOrderBADC:
            return "BADC";
        case kByteOrderDCBA:
            return "DCBA";
        default:
            return {};
    }
}

std::optional<std::int16_t> ParseByteOrderName(std::string_view name) {
    if (name.empty()) return kByteOrderDevice;
    for (std::int16_t order = kByteOrderABCD; order <= kByteOrderDCBA; ++order) {
        if (EqualsNoCase(name, ByteOrderName(order))) return order;
    }
    return std::nullopt;
}

}  // namespace velk
