#include "platform/dbus/bus_marshal.h"

#include <sdbus-c++/Error.h>
#include <sdbus-c++/Types.h>

#include <exception>

#include "platform/dbus/bus_signature.h"

namespace velk {
namespace {

template <class T>
bool WriteNumber(sdbus::Message& message, const BusValue& value) {
    const T* number = value.Get<T>();
    if (number == nullptr) return false;
    message << *number;
    return true;
}

bool WriteText(sdbus::Message& message, const BusValue& value) {
    const std::string* text = value.Text();
    if (text == nullptr) return false;
    switch (value.TypeCode()) {
        case 's':
            message << *text;
            break;
        case 'o':
            message << sdbus::ObjectPath(*text);
            break;
        default:
            message << sdbus::Signature(*text);
            break;
    }
    return true;
}

bool WriteContainer(sdbus::Message& message, const BusValue& value) {
    const std::string& signature = value.TypeSignature();
    const std::string inner =
        signature.substr(1, signature.size() - (value.TypeCode() == 'a' ? 1 : 2));
    switch (value.TypeCode()) {
        case 'a':
            message.openContainer(inner);
            break;
        case '(':
            message.openStruct(inner);
            break;
        case '{':
            message.openDictEntry(inner);
            break;
        case 'v':
            message.openVariant(value.Children().at(0).TypeSignature());
            break;
        default:
            return false;
    }
    for (const BusValue& child : value.Children()) {
        if (!WriteBusValue(message, child)) return false;
    }
    switch (value.TypeCode()) {
        case 'a':
            message.closeContainer();
            break;
        case '(':
            message.closeStruct();
            break;
        case '{':
            message.closeDictEntry();
            break;
        default:
            message.closeVariant();
            break;
    }
    return true;
}

bool WriteChecked(sdbus::Message& message, const BusValue& value) {
    switch (value.TypeCode()) {
        case 'b':
            return WriteNumber<bool>(message, value);
        case 'y':
            return WriteNumber<std::uint8_t>(message, value);
        case 'n':
            return WriteNumber<std::int16_t>(message, value);
        case 'q':
            return WriteNumber<std::uint16_t>(message, value);
        case 'i':
            return WriteNumber<std::int32_t>(message, value);
        case 'u':
            return WriteNumber<std::uint32_t>(message, value);
        case 'x':
            return WriteNumber<std::int64_t>(message, value);
        case 't':
            return WriteNumber<std::uint64_t>(message, value);
        case 'd':
            return WriteNumber<double>(message, value);
        case 's':
        case 'o':
        case 'g':
            return WriteText(message, value);
        default:
            return WriteContainer(message, value);
    }
}

template <class T>
bool ReadNumber(sdbus::Message& message, BusValue (*make)(T), BusValue& out) {
    T number{};
    if (!(message >> number)) return false;
    out = make(number);
    return true;
}

bool ReadOne(sdbus::Message& message, const std::string& type, BusValue& out);

// Reads array elements until the container ends.
bool ReadArray(sdbus::Message& message, const std::string& element, BusValue& out) {
    if (!message.enterContainer(element)) return false;
    BusValue::Items items;
    while (true) {
        BusValue item;
        if (!ReadOne(message, element, item)) break;
        items.push_back(std::move(item));
    }
    message.clearFlags();
    message.exitContainer();
    out = BusValue::Array(element, std::move(items));
    return true;
}

bool ReadFields(sdbus::Message& message, const std::string& contents, BusValue::Items& fields) {
    const auto types = SplitSignature(contents);
    if (!types) return false;
    for (const std::string& type : *types) {
        BusValue field;
        if (!ReadOne(message, type, field)) return false;
        fields.push_back(std::move(field));
    }
    return true;
}

bool ReadOne(sdbus::Message& message, const std::string& type, BusValue& out) {
    switch (type[0]) {
        case 'b':
            return ReadNumber<bool>(message, &BusValue::Bool, out);
        case 'y':
            return ReadNumber<std::uint8_t>(message, &BusValue::Byte, out);
        case 'n':
            return ReadNumber<std::int16_t>(message, &BusValue::Int16, out);
        case 'q':
            return ReadNumber<std::uint16_t>(message, &BusValue::UInt16, out);
        case 'i':
            return ReadNumber<std::int32_t>(message, &BusValue::Int32, out);
        case 'u':
            return ReadNumber<std::uint32_t>(message, &BusValue::UInt32, out);
        case 'x':
            return ReadNumber<std::int64_t>(message, &BusValue::Int64, out);
        case 't':
            return ReadNumber<std::uint64_t>(message, &BusValue::UInt64, out);
        case 'd':
            return ReadNumber<double>(message, &BusValue::Double, out);
        case 's': {
            std::string text;
            if (!(message >> text)) return false;
            out = BusValue::String(std::move(text));
            return true;
        }
        case 'o': {
            sdbus::ObjectPath path;
            if (!(message >> path)) return false;
            out = BusValue::ObjectPath(std::move(path));
            return true;
        }
        case 'g': {
            sdbus::Signature signature;
            if (!(message >> signature)) return false;
            out = BusValue::Signature(std::move(signature));
            return true;
        }
        case 'a':
            return ReadArray(message, type.substr(1), out);
        case '(': {
            const std::string contents = type.substr(1, type.size() - 2);
            if (!message.enterStruct(contents)) return false;
            BusValue::Items fields;
            if (!ReadFields(message, contents, fields)) return false;
            message.exitStruct();
            out = BusValue::Struct(std::move(fields));
            return true;
        }
        case '{': {
            const std::string contents = type.substr(1, type.size() - 2);
            if (!message.enterDictEntry(contents)) return false;
            BusValue::Items fields;
            if (!ReadFields(message, contents, fields) || fields.size() != 2) return false;
            message.exitDictEntry();
            out = BusValue::DictEntry(std::move(fields[0]), std::move(fields[1]));
            return true;
        }
        case 'v': {
            std::string kind, contents;
            try {
                message.peekType(kind, contents);
            } catch (const std::exception&) {
                return false;  // the end of the enclosing container
            }
            if (kind != "v" || contents.empty()) return false;
            if (!message.enterVariant(contents)) return false;
            BusValue inner;
            if (!ReadOne(message, contents, inner)) return false;
            message.exitVariant();
            out = BusValue::Variant(std::move(inner));
            return true;
        }
        default:
            return false;  // file descriptors are not passed
    }
}

}  // namespace

bool WriteBusValue(sdbus::Message& message, const BusValue& value) {
    if (!value.IsWellFormed()) return false;
    try {
        return WriteChecked(message, value);
    } catch (const std::exception&) {
        return false;
    }
}

bool WriteBusValues(sdbus::Message& message, const BusValue::Items& values) {
    for (const BusValue& value : values) {
        if (!WriteBusValue(message, value)) return false;
    }
    return true;
}

bool ReadBusValues(sdbus::Message& message, const std::string& signature, BusValue::Items& out) {
    const auto types = SplitSignature(signature);
    if (!types) return false;
    try {
        for (const std::string& type : *types) {
            BusValue value;
            if (!ReadOne(message, type, value)) return false;
            out.push_back(std::move(value));
        }
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

}  // namespace velk
