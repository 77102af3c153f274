// Fuzz target of the bus argument decoding: a message body of any type signature, read
// against the signature that a method declares, as the host reads every call and reply
// (ReadBusValues), and the values then taken apart as the DA adaptors take OPC values
// (VariantFromBus and the array helpers). A body of the declared signature must read back
// as written; any other body is refused or read as values of exactly the declared types;
// nothing throws.
//
// Input: the body's signature, a newline, the declared signature, a newline, then the bytes
// that the body's values are made of (numbers, lengths, the types inside variants).
#include <sdbus-c++/Message.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "opcda/bus/bus_variant.h"
#include "platform/dbus/bus_marshal.h"
#include "platform/dbus/bus_signature.h"
#include "platform/dbus/bus_value.h"

namespace sdbus {
// A message without a connection, as the bus library makes for its own variants; exported
// by the library but not declared in its headers.
PlainMessage createPlainMessage();
}  // namespace sdbus

namespace {

using velk::BusValue;

// The value bytes, read front to back; zeros once they are used up.
class Source {
  public:
    explicit Source(std::string_view bytes) : bytes_(bytes) {}
    std::uint8_t Byte() {
        return at_ < bytes_.size() ? static_cast<std::uint8_t>(bytes_[at_++]) : 0;
    }
    template <class T>
    T Number() {
        std::uint64_t bits = 0;
        for (std::size_t i = 0; i < sizeof(T); ++i) bits = bits << 8 | Byte();
        T value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

  private:
    std::string_view bytes_;
    std::size_t at_ = 0;
};

// Types that variants carry: the OPC value forms and a few that no method expects.
constexpr const char* kVariantTypes[] = {"i",  "s", "d",  "q",     "b",    "n",    "u",
                                         "y",  "x", "t",  "o",     "g",    "(qv)", "ad",
                                         "as", "v", "av", "a{sv}", "(ii)", "a(qv)"};
constexpr int kMaxVariantDepth = 6;

BusValue Make(const std::string& type, Source& in, int variantDepth);

BusValue::Items MakeAll(const std::string& signature, Source& in, int variantDepth) {
    BusValue::Items items;
    const auto types = velk::SplitSignature(signature).value();
    for (const std::string& type : types) {
        items.push_back(Make(type, in, variantDepth));
    }
    return items;
}

BusValue Make(const std::string& type, Source& in, int variantDepth) {
    switch (type[0]) {
        case 'b':
            return BusValue::Bool((in.Byte() & 1) != 0);
        case 'y':
            return BusValue::Byte(in.Byte());
        case 'n':
            return BusValue::Int16(in.Number<std::int16_t>());
        case 'q':
            return BusValue::UInt16(in.Number<std::uint16_t>());
        case 'i':
            return BusValue::Int32(in.Number<std::int32_t>());
        case 'u':
            return BusValue::UInt32(in.Number<std::uint32_t>());
        case 'x':
            return BusValue::Int64(in.Number<std::int64_t>());
        case 't':
            return BusValue::UInt64(in.Number<std::uint64_t>());
        case 'd': {
            // NaN never equals itself; the round trip compares values.
            const double d = in.Number<double>();
            return BusValue::Double(std::isnan(d) ? 0.0 : d);
        }
        case 's': {
            std::string text(in.Byte() % 12, ' ');
            for (char& c : text) c = static_cast<char>(0x20 + in.Byte() % 0x5F);
            return BusValue::String(std::move(text));
        }
        case 'o':
            return BusValue::ObjectPath("/velk/" + std::to_string(in.Byte()));
        case 'g':
            return BusValue::Signature(kVariantTypes[in.Byte() % std::size(kVariantTypes)]);
        case 'a': {
            const std::string element = type.substr(1);
            BusValue::Items elements;
            for (int n = in.Byte() % 4; n > 0; --n)
                elements.push_back(Make(element, in, variantDepth));
            return BusValue::Array(element, std::move(elements));
        }
        case '(':
            return BusValue::Struct(MakeAll(type.substr(1, type.size() - 2), in, variantDepth));
        case '{': {
            auto fields = MakeAll(type.substr(1, type.size() - 2), in, variantDepth);
            return BusValue::DictEntry(std::move(fields.at(0)), std::move(fields.at(1)));
        }
        default: {  // 'v'
            const std::string inner = variantDepth >= kMaxVariantDepth
                                          ? "i"
                                          : kVariantTypes[in.Byte() % std::size(kVariantTypes)];
            return BusValue::Variant(Make(inner, in, variantDepth + 1));
        }
    }
}

// What the DA adaptors do with values of the forms they expect.
void TakeApart(const BusValue& value) {
    if (const auto variant = velk::dabus::VariantFromBus(value)) {
        // A value that was accepted goes back to the bus and is accepted again as itself
        // (reals of 32 bits travel as doubles).
        const auto again = velk::dabus::VariantFromBus(velk::dabus::VariantToBus(*variant));
        if (!again || again->Type() != variant->Type()) std::abort();
        if (variant->Type() != velk::VT_R4 && variant->Type() != velk::VT_R8 &&
            *again != *variant) {
            std::abort();
        }
    }
    if (value.TypeCode() == 'a') {
        velk::dabus::VariantsFromBus(value);
        velk::dabus::UInt32sOf(value);
        velk::dabus::UInt16sOf(value);
    }
    for (const BusValue& child : value.Children()) TakeApart(child);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t first = input.find('\n');
    if (first == std::string_view::npos) return 0;
    const std::size_t second = input.find('\n', first + 1);
    if (second == std::string_view::npos) return 0;
    const std::string body(input.substr(0, first));
    const std::string declared(input.substr(first + 1, second - first - 1));

    // A valid signature splits into complete types that make it up again.
    for (const std::string& signature : {body, declared}) {
        if (const auto types = velk::SplitSignature(signature)) {
            std::string joined;
            for (const std::string& type : *types) {
                if (velk::SplitSignature(type).value_or(std::vector<std::string>{}).size() != 1) {
                    std::abort();
                }
                joined += type;
            }
            if (joined != signature) std::abort();
        }
    }
    // File descriptors are never passed; the bus limits signatures to 255 characters.
    if (!velk::SplitSignature(body) || body.find('h') != std::string::npos || body.size() > 255) {
        return 0;
    }

    Source in(input.substr(second + 1));
    const BusValue::Items values = MakeAll(body, in, 0);
    auto message = sdbus::createPlainMessage();
    if (!velk::WriteBusValues(message, values)) {
        // Only nesting beyond what the bus library allows is refused.
        return 0;
    }
    message.seal();
    message.rewind(true);

    BusValue::Items read;
    const bool ok = velk::ReadBusValues(message, declared, read);
    if (declared == body && (!ok || read != values)) std::abort();
    if (!ok) return 0;
    if (velk::SignatureOf(read) != declared) std::abort();
    for (const BusValue& value : read) {
        if (!value.IsWellFormed()) std::abort();
        TakeApart(value);
    }
    return 0;
}
