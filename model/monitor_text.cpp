#include "model/monitor_text.h"

#include <algorithm>
#include <cstdio>

#include "model/o_modbus_tag.h"
#include "platform/text.h"

namespace velk {
namespace {

template <class... Args>
std::string Format(const char* format, Args... args) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, args...);
    return buffer;
}

std::string ValueText(const Variant& value) {
    switch (value.Type()) {
        case VT_I2:
            return Format("%hd", value.AsInt16());
        case VT_I4:
            return Format("%ld", static_cast<long>(value.AsInt32()));
        case VT_R4:
            return Format("%f", static_cast<double>(value.AsFloat()));
        case VT_R8:
            return Format("%g ", value.AsDouble());
        case VT_BSTR:
            return value.AsText();
        case VT_BOOL:
            return value.AsBool() ? "On" : "Off";
        case VT_UI2:
            return Format("%hu", value.AsUInt16());
        case VT_UI4:
            return Format("%lu", static_cast<unsigned long>(value.AsUInt32()));
        case VT_I8:
            return Format("%lld", static_cast<long long>(value.AsInt64()));
        case VT_UI8:
            return Format("%llu", static_cast<unsigned long long>(value.AsUInt64()));
        default:
            return "?";
    }
}

}  // namespace

std::string MonitorValueText(const Variant& value, std::uint16_t quality) {
    std::string text = ValueText(value);
    switch (quality & 0xC0) {
        case 0x40:
            text += " (uncertain)";
            break;
        case 0x00:
            text += " (bad)";
            break;
        default:
            break;
    }
    return text;
}

bool TagListOrder::Click(TagColumn column) {
    if (column == TagColumn::Value || column == TagColumn::Timestamp) return false;
    if (sorted_ && column == column_) {
        descending_ = !descending_;
    } else {
        sorted_ = true;
        column_ = column;
        descending_ = false;
    }
    return true;
}

void TagListOrder::Apply(std::vector<OModbusTag*>& rows) const {
    if (!sorted_) return;
    auto compare = [this](const OModbusTag* a, const OModbusTag* b) {
        switch (column_) {
            case TagColumn::Type:
                return b->locationKind - a->locationKind;
            case TagColumn::Location:
                return CompareNoCase(a->GetAddressText(), b->GetAddressText());
            case TagColumn::Description:
                return CompareNoCase(a->description, b->description);
            default:
                return CompareNoCase(a->name, b->name);
        }
    };
    std::stable_sort(rows.begin(), rows.end(), [&](const OModbusTag* a, const OModbusTag* b) {
        const int order = compare(a, b);
        return descending_ ? order > 0 : order < 0;
    });
}

}  // namespace velk
