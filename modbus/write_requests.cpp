#include "modbus/write_requests.h"

#include <algorithm>
#include <bit>
#include <string>

#include "modbus/modbus_requests.h"
#include "modbus/tag_value_decoder.h"
#include "model/o_modbus_tag.h"
#include "platform/text.h"

namespace velk {
namespace {

// The low 16 bits of a value of any numeric type; true is all ones.
HRESULT LowWord(const Variant& value, std::uint16_t& word) {
    switch (value.Type()) {
        case VT_BOOL:
            word = value.AsBool() ? 0xFFFF : 0;
            return S_OK;
        case VT_I2:
            word = static_cast<std::uint16_t>(value.AsInt16());
            return S_OK;
        case VT_UI2:
            word = value.AsUInt16();
            return S_OK;
        case VT_I4:
            word = static_cast<std::uint16_t>(value.AsInt32());
            return S_OK;
        case VT_I8:
            word = static_cast<std::uint16_t>(value.AsInt64());
            return S_OK;
        case VT_UI8:
            word = static_cast<std::uint16_t>(value.AsUInt64());
            return S_OK;
        case VT_UI4:
            word = static_cast<std::uint16_t>(value.AsUInt32());
            return S_OK;
        default: {
            Variant whole = value;
            const HRESULT hr = whole.ChangeType(VT_I4);
            if (Failed(hr)) return hr;
            word = static_cast<std::uint16_t>(whole.AsInt32());
            return S_OK;
        }
    }
}

// The 32-bit pattern of a LONG, ULONG or REAL value.
std::uint32_t Pattern32(const Variant& value) {
    switch (value.Type()) {
        case VT_I4:
            return static_cast<std::uint32_t>(value.AsInt32());
        case VT_UI4:
            return value.AsUInt32();
        case VT_R4:
            return std::bit_cast<std::uint32_t>(value.AsFloat());
        default:
            return 0;
    }
}

HRESULT Push(std::unique_ptr<OMessage> request, std::vector<std::unique_ptr<OMessage>>& requests) {
    if (!request) return E_FAIL;
    requests.push_back(std::move(request));
    return S_OK;
}

HRESULT BuildRegisters(MessageFraming framing, std::uint8_t slave, std::uint16_t address,
                       std::span<const std::uint16_t> registers,
                       std::vector<std::unique_ptr<OMessage>>& requests) {
    return Push(BuildWriteRegistersRequest(framing, slave, address, registers), requests);
}

// n = the smaller of the tag's length and the text's length, made even with a zero byte;
// the low 8 bits of each character, two to a register, high byte first (low byte first in
// the tag's swapped byte orders). Texts of more than
// 123 registers go out in parts at consecutive addresses.
HRESULT BuildText(MessageFraming framing, std::uint8_t slave, const OModbusTag& tag,
                  const Variant& value, std::vector<std::unique_ptr<OMessage>>& requests) {
    const std::u16string characters = Utf8ToUtf16(value.AsText());
    if (tag.size == 0) return E_FAIL;
    std::size_t n = std::min<std::size_t>(tag.size, characters.size());
    // An empty text still writes one register of zero bytes, which ends the controller's
    // text at its first character; a request without registers does not exist.
    if (n == 0) n = 2;
    if (n % 2 != 0) ++n;
    std::vector<std::uint16_t> registers(n / 2, 0);
    for (std::size_t k = 0; k < n; ++k) {
        const std::uint16_t byte = k < characters.size() ? (characters[k] & 0xFF) : 0;
        registers[k / 2] |= static_cast<std::uint16_t>(k % 2 == 0 ? byte << 8 : byte);
    }
    if (tag.byteOrder != kByteOrderDevice && SwapsTextBytes(tag.byteOrder)) {
        for (std::uint16_t& word : registers)
            word = static_cast<std::uint16_t>((word << 8) | (word >> 8));
    }
    for (std::size_t first = 0; first < registers.size(); first += kMaxWriteRegisters) {
        const std::size_t count =
            std::min<std::size_t>(kMaxWriteRegisters, registers.size() - first);
        const std::uint32_t address = std::uint32_t{tag.address} + first;
        if (address > 0xFFFF) return E_FAIL;
        const HRESULT hr = BuildRegisters(
            framing, slave, static_cast<std::uint16_t>(address),
            std::span<const std::uint16_t>(registers).subspan(first, count), requests);
        if (Failed(hr)) return hr;
    }
    return S_OK;
}

HRESULT BuildOneRegister(MessageFraming framing, std::uint8_t slave, std::uint16_t address,
                         std::uint16_t word, bool asMultiple,
                         std::vector<std::unique_ptr<OMessage>>& requests) {
    if (asMultiple) return BuildRegisters(framing, slave, address, {&word, 1}, requests);
    return Push(BuildWriteRegisterRequest(framing, slave, address, word), requests);
}

HRESULT BuildHoldingRegister(MessageFraming framing, std::uint8_t slave, const OModbusTag& tag,
                             const Variant& value, bool deviceWordSwap, bool asMultiple,
                             std::vector<std::unique_ptr<OMessage>>& requests) {
    const std::int16_t order = tag.EffectiveByteOrder(deviceWordSwap);
    switch (tag.dataType) {
        case VT_I4:
        case VT_UI4:
        case VT_R4: {
            std::uint16_t registers[2];
            SplitWords(Pattern32(value), registers, order);
            return BuildRegisters(framing, slave, tag.address, registers, requests);
        }
        case VT_I8:
        case VT_UI8: {
            std::uint16_t registers[kDoubleRegisters];
            const std::uint64_t pattern = value.Type() == VT_I8
                                              ? static_cast<std::uint64_t>(value.AsInt64())
                                          : value.Type() == VT_UI8 ? value.AsUInt64()
                                                                   : 0;
            SplitWords(pattern, registers, order);
            return BuildRegisters(framing, slave, tag.address, registers, requests);
        }
        case VT_BSTR:
            return BuildText(framing, slave, tag, value, requests);
        case VT_R8:
            if (tag.size == kDoubleRegisters) {
                std::uint16_t registers[kDoubleRegisters];
                SplitWords(std::bit_cast<std::uint64_t>(value.AsDouble()), registers, order);
                return BuildRegisters(framing, slave, tag.address, registers, requests);
            } else {
                // One signed register: a value it cannot hold is refused, not cut.
                Variant whole = value;
                const HRESULT hr = whole.ChangeType(VT_I2);
                if (Failed(hr)) return hr;
                return BuildOneRegister(framing, slave, tag.address,
                                        static_cast<std::uint16_t>(whole.AsInt16()), asMultiple,
                                        requests);
            }
        default: {
            std::uint16_t word = 0;
            const HRESULT hr = LowWord(value, word);
            if (Failed(hr)) return hr;
            return BuildOneRegister(framing, slave, tag.address, word, asMultiple, requests);
        }
    }
}

}  // namespace

bool IsWritableKind(std::int32_t kind) { return kind == kOutputCoil || kind == kHoldingRegister; }

HRESULT BuildTagWriteRequests(MessageFraming framing, std::uint8_t slave, const OModbusTag& tag,
                              const Variant& value, bool wordSwap,
                              std::vector<std::unique_ptr<OMessage>>& requests,
                              WriteFunctions functions) {
    if (tag.locationKind == kOutputCoil) {
        std::uint16_t word = 0;
        const HRESULT hr = LowWord(value, word);
        if (Failed(hr)) return hr;
        return Push(functions.multipleCoils
                        ? BuildWriteOneCoilAsMultipleRequest(framing, slave, tag.address, word != 0)
                        : BuildWriteCoilRequest(framing, slave, tag.address, word != 0),
                    requests);
    }
    // A register bit is written by a read-modify-write of its register (the scan engine).
    if (tag.IsRegisterBit()) return E_FAIL;
    if (tag.locationKind == kHoldingRegister)
        return BuildHoldingRegister(framing, slave, tag, value, wordSwap,
                                    functions.multipleRegisters, requests);
    return kTagNotWritable;
}

}  // namespace velk
