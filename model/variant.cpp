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

// A double's value as a 64-bit integer type, rounded half to even; false when out of range.
template <class T>
bool RoundTo64(double x, T& out) {
    if (std::isnan(x)) return false;
    const double r = RoundHalfEven(x);
    // 2^63 and 2^64 are exact doubles; the largest values of the types are not.
    constexpr double kTop = std::is_signed_v<T> ? 9223372036854775808.0 : 18446744073709551616.0;
    if (r >= kTop || r < static_cast<double>(std::numeric_limits<T>::min())) return false;
    out = static_cast<T>(r);
    return true;
}

// A whole number's exact value as a signed part and a sign: texts of digits, integers and
// booleans; false for other values, which convert through their double.
bool WholeNumber(const Variant& v, std::int64_t& low, std::uint64_t& high, bool& unsignedBig) {
    unsignedBig = false;
    switch (v.Type()) {
        case VT_BOOL:
            low = v.AsBool() ? -1 : 0;
            return true;
        case VT_I2:
            low = v.AsInt16();
            return true;
        case VT_UI2:
            low = v.AsUInt16();
            return true;
        case VT_I4:
            low = v.AsInt32();
            return true;
        case VT_UI4:
            low = v.AsUInt32();
            return true;
        case VT_I8:
            low = v.AsInt64();
            return true;
        case VT_UI8:
            if (v.AsUInt64() >
                static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
                high = v.AsUInt64();
                unsignedBig = true;
            } else {
                low = static_cast<std::int64_t>(v.AsUInt64());
            }
            return true;
        case VT_BSTR: {
            const std::string& text = v.AsText();
            std::size_t begin = text.find_first_not_of(" \t");
            std::size_t end = text.find_last_not_of(" \t");
            if (begin == std::string::npos) return false;
            const char* first = text.data() + begin;
            const char* last = text.data() + end + 1;
            if (*first == '+') ++first;
            auto [ptr, ec] = std::from_chars(first, last, low);
            if (ec == std::errc() && ptr == last) return true;
            if (*first == '-') return false;
            auto [ptr2, ec2] = std::from_chars(first, last, high);
            unsignedBig = ec2 == std::errc() && ptr2 == last;
            return unsignedBig;
        }
        default:
            return false;
    }
}

}  // namespace

Variant Variant::Bool(bool value) { return Variant(Storage(value)); }
Variant Variant::Int16(std::int16_t value) { return Variant(Storage(value)); }
Variant Variant::UInt16(std::uint16_t value) { return Variant(Storage(value)); }
Variant Variant::Int32(std::int32_t value) { return Variant(Storage(value)); }
Variant Variant::UInt32(std::uint32_t value) { return Variant(Storage(value)); }
Variant Variant::Int64(std::int64_t value) { return Variant(Storage(value)); }
Variant Variant::UInt64(std::uint64_t value) { return Variant(Storage(value)); }
Variant Variant::Float(float value) { return Variant(Storage(value)); }
Variant Variant::Double(double value) { return Variant(Storage(value)); }
Variant Variant::Text(std::string value) { return Variant(Storage(std::move(value))); }

VarType Variant::Type() const {
    static constexpr VarType kCodes[] = {VT_EMPTY, VT_BOOL, VT_I2,   VT_UI2, VT_I4, VT_UI4,
                                         VT_R4,    VT_R8,   VT_BSTR, VT_I8,  VT_UI8};
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
        case VT_I8:
            out = static_cast<double>(AsInt64());
            return true;
        case VT_UI8:
            out = static_cast<double>(AsUInt64());
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
        case VT_I8:
            return NumberText(AsInt64());
        case VT_UI8:
            return NumberText(AsUInt64());
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

    if (target == VT_I8 || target == VT_UI8) return ChangeTo64(target);

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

HRESULT Variant::ChangeTo64(VarType target) {
    std::int64_t low = 0;
    std::uint64_t high = 0;
    bool unsignedBig = false;
    const bool isTrue = Type() == VT_BOOL && AsBool();
    if (Type() == VT_EMPTY) {
        low = 0;
    } else if (!WholeNumber(*this, low, high, unsignedBig)) {
        double x = 0.0;
        if (Type() == VT_BSTR) {
            if (!ParseNumber(AsText(), x)) return DISP_E_TYPEMISMATCH;
        } else if (!ToDouble(x)) {
            return DISP_E_TYPEMISMATCH;
        }
        if (target == VT_I8) {
            std::int64_t v = 0;
            if (!RoundTo64(x, v)) return DISP_E_OVERFLOW;
            data_ = v;
        } else {
            std::uint64_t v = 0;
            if (!RoundTo64(x, v)) return DISP_E_OVERFLOW;
            data_ = v;
        }
        return S_OK;
    }
    if (target == VT_I8) {
        if (unsignedBig) return DISP_E_OVERFLOW;
        data_ = low;
        return S_OK;
    }
    if (isTrue) {
        data_ = std::numeric_limits<std::uint64_t>::max();
        return S_OK;
    }
    if (unsignedBig) {
        data_ = high;
        return S_OK;
    }
    if (low < 0) return DISP_E_OVERFLOW;
    data_ = static_cast<std::uint64_t>(low);
    return S_OK;
}

}  // namespace velk
