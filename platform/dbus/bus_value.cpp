#include "platform/dbus/bus_value.h"

#include "platform/dbus/bus_signature.h"

namespace velk {

BusValue BusValue::Array(const std::string& elementSignature, Items elements) {
    return BusValue("a" + elementSignature, std::move(elements));
}

BusValue BusValue::Struct(Items fields) {
    std::string signature = "(" + SignatureOf(fields) + ")";
    return BusValue(std::move(signature), std::move(fields));
}

BusValue BusValue::DictEntry(BusValue key, BusValue value) {
    std::string signature = "{" + key.signature_ + value.signature_ + "}";
    return BusValue(std::move(signature), Items{std::move(key), std::move(value)});
}

BusValue BusValue::Variant(BusValue contents) { return BusValue("v", Items{std::move(contents)}); }

BusValue BusValue::StringArray(const std::vector<std::string>& texts) {
    Items items;
    items.reserve(texts.size());
    for (const std::string& text : texts) items.push_back(String(text));
    return Array("s", std::move(items));
}

BusValue BusValue::UInt32Array(const std::vector<std::uint32_t>& values) {
    Items items;
    items.reserve(values.size());
    for (std::uint32_t v : values) items.push_back(UInt32(v));
    return Array("u", std::move(items));
}

const BusValue::Items& BusValue::Children() const {
    static const Items kNone;
    const Items* items = std::get_if<Items>(&storage_);
    return items ? *items : kNone;
}

bool BusValue::IsWellFormed() const {
    const char code = TypeCode();
    if (IsBasicTypeCode(code)) return !std::holds_alternative<Items>(storage_);
    const Items* items = std::get_if<Items>(&storage_);
    if (items == nullptr) return false;
    for (const BusValue& item : *items) {
        if (!item.IsWellFormed()) return false;
    }
    switch (code) {
        case 'v':
            return items->size() == 1 && (*items)[0].TypeCode() != '{';
        case 'a': {
            const std::string element = signature_.substr(1);
            for (const BusValue& item : *items) {
                if (item.signature_ != element) return false;
            }
            const auto types = SplitSignature(signature_);
            return types && types->size() == 1;
        }
        case '(':
            return !items->empty() && signature_ == "(" + SignatureOf(*items) + ")";
        case '{':
            return items->size() == 2 && IsBasicTypeCode((*items)[0].TypeCode()) &&
                   (*items)[1].TypeCode() != '{';
        default:
            return false;
    }
}

std::string SignatureOf(const BusValue::Items& values) {
    std::string signature;
    for (const BusValue& value : values) signature += value.TypeSignature();
    return signature;
}

}  // namespace velk
