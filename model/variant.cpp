#include "model/variant.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <type_traits>

#include "platform/text.h"

namespace velk {
namespace {

// Parses a whole text as a number (surrounding blanks allowed).
bool ParseNumber(const std::string& text, double& out) {
    std::size_t begin = text.find_first_not_of(" \t");
    std::size_t end = text.find_last_not_of(" \t");
    if (begin == std::string::npos) return false;
    const char* first = text.data() + begin;
    const char* last = text.data() + end + 1;
    if (*first == '+') ++first;
    auto [ptr, ec] = std::from_chars(first, last, out);
    return ec == std::errc() && ptr == last;
}

// Rounds half to even, as the platform's variant conversions do.
double RoundHalfEven(double x) {
    return std::nearbyint(x);  // default rounding mode is to nearest, ties to even
}

template <class T>
HRESULT ToInteger(double x, T& out) {
    if (std::isnan(x)) return DISP_E_OVERFLOW;
    const double r = RoundHalfEven(x);
    if (r < static_cast<double>(std::numeric_limits<T>::min()) ||
        r > static_cast<double>(std::numeric_limits<T>::max()))
        return DISP_E_OVERFLOW;
    out = static_cast<T>(r);
    return S_OK;
}

template <class T>
std::string NumberText(T value) {
    char buffer[64];
    auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (ec != std::errc()) return {};
    return std::string(buffer, ptr);
}

}  // namespace

Variant Variant::Bool(bool value) { return Variant(Storage(value)); }
Variant Variant::Int16(std::int16_t value) { return Variant(Storage(value)); }
Variant Variant::UInt16(std::uint16_t value) { return Variant(Storage(value)); }
Variant Variant::Int32(std::int32_t value) { return Variant(Storage(value)); }
Variant Variant::UInt32(std::uint32_t value) { return Variant(Storage(value)); }
Variant Variant::Float(float value) { return Variant(Storage(value)); }
Variant Variant::Double(double value) { return Variant(Storage(value)); }
Variant Variant::Text(std::string value) { return Variant(Storage(std::move(value))); }

VarType Variant::Type() const {
    static constexpr VarType kCodes[] = {VT_EMPTY, VT_BOOL, VT_I2, VT_UI2, VT_I4,
                                         VT_UI4,   VT_R4,   VT_R8, VT_BSTR};
    return kCodes[data_.index()];
}

bool Variant::ToDouble(double& out) const {
    switch (Type()) {
        case VT_BOOL:
            out = AsBool() ? -1.0 : 0.0;
            return true;
        case VT_I2:
            out = AsInt16();
            return true;
        case VT_UI2:
            out = AsUInt16();
            return true;
        case VT_I4:
            out = AsInt32();
            return true;
        case VT_UI4:
            out = AsUInt32();
            return true;
        case VT_R4:
            out = AsFloat();
            return true;
        case VT_R8:
            out = AsDouble();
            return true;
        case VT_BSTR:
            return ParseNumber(AsText(), out);
        default:
            return false;
    }
}

std::string Variant::ToText() const {
    switch (Type()) {
        case VT_BOOL:
            return AsBool() ? "True" : "False";
        case VT_I2:
            return NumberText(AsInt16());
        case VT_UI2:
            return NumberText(AsUInt16());
        case VT_I4:
            return NumberText(AsInt32());
        case VT_UI4:
            return NumberText(AsUInt32());
        case VT_R4:
            return NumberText(AsFloat());
        case VT_R8:
            return NumberText(AsDouble());
        case VT_BSTR:
            return AsText();
        default:
            return {};
    }
}

HRESULT Variant::ChangeType(VarType target) {
    const VarType source = Type();
    if (source == target) return S_OK;

    if (target == VT_BSTR) {
        data_ = ToText();
        return S_OK;
    }
    if (target == VT_EMPTY) {
        data_ = std::monostate{};
        return S_OK;
    }

    double x = 0.0;
    if (source == VT_EMPTY) {
        x = 0.0;
    } else if (source == VT_BSTR) {
        const std::string lower = AsciiLowerCopy(AsText());
        if (lower == "true") {
            x = -1.0;
        } else if (lower == "false") {
            x = 0.0;
        } else if (!ParseNumber(AsText(), x)) {
            return DISP_E_TYPEMISMATCH;
        }
    } else if (!ToDouble(x)) {
        return DISP_E_TYPEMISMATCH;
    }
    const bool isTrue = source == VT_BOOL && AsBool();

    switch (target) {
        case VT_BOOL:
            // A NaN is not zero: it converts to true like any other non-zero number.
            data_ = (x != 0.0);
            return S_OK;
        case VT_R8:
            data_ = x;
            return S_OK;
        case VT_R4: {
            if (std::isfinite(x) && std::fabs(x) > std::numeric_limits<float>::max())
                return DISP_E_OVERFLOW;
            data_ = static_cast<float>(x);
            return S_OK;
        }
        case VT_I2: {
            std::int16_t v = 0;
            HRESULT hr = ToInteger(x, v);
            if (Succeeded(hr)) data_ = v;
            return hr;
        }
        case VT_I4: {
            std::int32_t v = 0;
            HRESULT hr = ToInteger(x, v);
            if (Succeeded(hr)) data_ = v;
            return hr;
        }
        case VT_UI2: {
            if (isTrue) {
                data_ = std::uint16_t{0xFFFF};
                return S_OK;
            }
            std::uint16_t v = 0;
            HRESULT hr = ToInteger(x, v);
            if (Succeeded(hr)) data_ = v;
            return hr;
        }
        case VT_UI4: {
            if (isTrue) {
                data_ = std::uint32_t{0xFFFFFFFFu};
                return S_OK;
            }
            std::uint32_t v = 0;
            HRESULT hr = ToInteger(x, v);
            if (Succeeded(hr)) data_ = v;
            return hr;
        }
        default:
            return DISP_E_TYPEMISMATCH;
    }
}

}  // namespace velk
