#include "opcda/opc_stream.h"

#include <cstring>

#include "platform/text.h"

namespace velk {

namespace {

void Put16(std::vector<std::uint8_t>& out, std::size_t at, std::uint16_t v) {
    out[at] = static_cast<std::uint8_t>(v);
    out[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void Put64(std::vector<std::uint8_t>& out, std::size_t at, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint64_t DoubleBits(double d) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &d, sizeof bits);
    return bits;
}

std::uint32_t FloatBits(float f) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

// The 8 data bytes of a scalar VARIANT (offset 8 of the VARIANT).
void PutScalar(std::vector<std::uint8_t>& out, std::size_t at, const Variant& v) {
    switch (v.Type()) {
        case VT_BOOL:
            Put16(out, at, v.AsBool() ? 0xFFFF : 0);
            break;
        case VT_I2:
            Put16(out, at, static_cast<std::uint16_t>(v.AsInt16()));
            break;
        case VT_UI2:
            Put16(out, at, v.AsUInt16());
            break;
        case VT_I4:
            Put32(out, at, static_cast<std::uint32_t>(v.AsInt32()));
            break;
        case VT_UI4:
            Put32(out, at, v.AsUInt32());
            break;
        case VT_R4:
            Put32(out, at, FloatBits(v.AsFloat()));
            break;
        case VT_R8:
            Put64(out, at, DoubleBits(v.AsDouble()));
            break;
        case VT_I8:
            Put64(out, at, static_cast<std::uint64_t>(v.AsInt64()));
            break;
        case VT_UI8:
            Put64(out, at, v.AsUInt64());
            break;
        default:
            break;  // empty values and the pointer of a string stay zero
    }
}

}  // namespace

void AppendVariant(std::vector<std::uint8_t>& out, const OpcValue& value) {
    const std::size_t at = out.size();
    out.resize(at + kVariantSize, 0);
    Put16(out, at, value.vt);
    if (value.vt == VT_DATE) {
        Put64(out, at + 8, DoubleBits(value.date));
    } else if (value.vt == (VT_ARRAY | VT_R8)) {
        const std::size_t desc = out.size();
        out.resize(desc + kSafeArrayDescriptorSize + value.array.size() * 8, 0);
        Put16(out, desc, 1);                                                    // cDims
        Put16(out, desc + 2, 0);                                                // fFeatures
        Put32(out, desc + 4, 8);                                                // cbElements
        Put32(out, desc + 8, 0);                                                // cLocks
        Put32(out, desc + 12, 0);                                               // pvData
        Put32(out, desc + 16, static_cast<std::uint32_t>(value.array.size()));  // cElements
        Put32(out, desc + 20, 0);                                               // lLbound
        std::size_t p = desc + kSafeArrayDescriptorSize;
        for (double d : value.array) {
            Put64(out, p, DoubleBits(d));
            p += 8;
        }
    } else if (value.vt == VT_BSTR) {
        const std::string bytes = Utf8ToUtf16LeBytes(value.scalar.AsText());
        const std::size_t p = out.size();
        out.resize(p + 4 + bytes.size() + 2, 0);
        Put32(out, p, static_cast<std::uint32_t>(bytes.size()));
        std::memcpy(out.data() + p + 4, bytes.data(), bytes.size());
    } else {
        PutScalar(out, at + 8, value.scalar);
    }
}

std::vector<std::uint8_t> BuildDataStream(bool withTime, std::uint32_t hClientGroup,
                                          std::uint32_t transactionID,
                                          const std::vector<StreamItem>& items) {
    const std::size_t headerSize = withTime ? kItemHeader1Size : kItemHeader2Size;
    std::vector<std::uint8_t> out(kGroupHeaderSize + items.size() * headerSize, 0);
    bool anyBad = false;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const StreamItem& item = items[i];
        const std::size_t h = kGroupHeaderSize + i * headerSize;
        Put32(out, h, item.hClient);
        Put32(out, h + 4, static_cast<std::uint32_t>(out.size()));
        Put16(out, h + 8, item.quality);
        Put16(out, h + 10, 0);
        if (withTime) Put64(out, h + 12, item.timestamp);
        if ((item.quality & 0xC0) == 0) anyBad = true;
        AppendVariant(out, item.value);
    }
    Put32(out, 4, static_cast<std::uint32_t>(items.size()));
    Put32(out, 8, hClientGroup);
    Put32(out, 12, transactionID);
    Put32(out, 16, static_cast<std::uint32_t>(anyBad ? S_FALSE : S_OK));
    Put32(out, 0, static_cast<std::uint32_t>(out.size()));  // written last
    return out;
}

std::vector<std::uint8_t> BuildWriteCompleteStream(std::uint32_t hClientGroup,
                                                   std::uint32_t transactionID,
                                                   const std::vector<WriteCompleteItem>& items) {
    std::vector<std::uint8_t> out(kGroupHeaderWriteSize + items.size() * kItemHeaderWriteSize, 0);
    bool anyFailed = false;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const std::size_t h = kGroupHeaderWriteSize + i * kItemHeaderWriteSize;
        Put32(out, h, items[i].hClient);
        Put32(out, h + 4, static_cast<std::uint32_t>(items[i].error));
        if (items[i].error != S_OK) anyFailed = true;
    }
    Put32(out, 0, static_cast<std::uint32_t>(items.size()));
    Put32(out, 4, hClientGroup);
    Put32(out, 8, transactionID);
    Put32(out, 12, static_cast<std::uint32_t>(anyFailed ? S_FALSE : S_OK));
    return out;
}

}  // namespace velk
