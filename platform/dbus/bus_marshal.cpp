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

// Reads one message against a budget: every value read (number, text, container) counts
// one, and texts count their bytes, so that an oversized argument is refused after reading no
// more than the budget, instead of being decoded whole first.
class BudgetedReader {
  public:
    BudgetedReader(sdbus::Message& message, const BusReadLimits& limits)
        : message_(message), valuesLeft_(limits.values), textBytesLeft_(limits.textBytes) {}

    bool Exhausted() const { return exhausted_; }

    bool ReadOne(const std::string& type, BusValue& out) {
        if (valuesLeft_ == 0) {
            exhausted_ = true;
            return false;
        }
        --valuesLeft_;
        switch (type[0]) {
            case 'b':
                return ReadNumber<bool>(&BusValue::Bool, out);
            case 'y':
                return ReadNumber<std::uint8_t>(&BusValue::Byte, out);
            case 'n':
                return ReadNumber<std::int16_t>(&BusValue::Int16, out);
            case 'q':
                return ReadNumber<std::uint16_t>(&BusValue::UInt16, out);
            case 'i':
                return ReadNumber<std::int32_t>(&BusValue::Int32, out);
            case 'u':
                return ReadNumber<std::uint32_t>(&BusValue::UInt32, out);
            case 'x':
                return ReadNumber<std::int64_t>(&BusValue::Int64, out);
            case 't':
                return ReadNumber<std::uint64_t>(&BusValue::UInt64, out);
            case 'd':
                return ReadNumber<double>(&BusValue::Double, out);
            case 's': {
                std::string text;
                if (!(message_ >> text) || !SpendText(text.size())) return false;
                out = BusValue::String(std::move(text));
                return true;
            }
            case 'o': {
                sdbus::ObjectPath path;
                if (!(message_ >> path) || !SpendText(path.size())) return false;
                out = BusValue::ObjectPath(std::move(path));
                return true;
            }
            case 'g': {
                sdbus::Signature signature;
                if (!(message_ >> signature) || !SpendText(signature.size())) return false;
                out = BusValue::Signature(std::move(signature));
                return true;
            }
            case 'a':
                return ReadArray(type.substr(1), out);
            case '(': {
                const std::string contents = type.substr(1, type.size() - 2);
                if (!message_.enterStruct(contents)) return false;
                BusValue::Items fields;
                if (!ReadFields(contents, fields)) return false;
                message_.exitStruct();
                out = BusValue::Struct(std::move(fields));
                return true;
            }
            case '{': {
                const std::string contents = type.substr(1, type.size() - 2);
                if (!message_.enterDictEntry(contents)) return false;
                BusValue::Items fields;
                if (!ReadFields(contents, fields) || fields.size() != 2) return false;
                message_.exitDictEntry();
                out = BusValue::DictEntry(std::move(fields[0]), std::move(fields[1]));
                return true;
            }
            case 'v': {
                std::string kind, contents;
                try {
                    message_.peekType(kind, contents);
                } catch (const std::exception&) {
                    return false;  // the end of the enclosing container
                }
                if (kind != "v" || contents.empty()) return false;
                if (!message_.enterVariant(contents)) return false;
                BusValue inner;
                if (!ReadOne(contents, inner)) return false;
                message_.exitVariant();
                out = BusValue::Variant(std::move(inner));
                return true;
            }
            default:
                return false;  // file descriptors are not passed
        }
    }

  private:
    template <class T>
    bool ReadNumber(BusValue (*make)(T), BusValue& out) {
        T number{};
        if (!(message_ >> number)) return false;
        out = make(number);
        return true;
    }

    bool SpendText(std::size_t bytes) {
        if (bytes > textBytesLeft_) {
            exhausted_ = true;
            return false;
        }
        textBytesLeft_ -= bytes;
        return true;
    }

    // Reads array elements until the container ends.
    bool ReadArray(const std::string& element, BusValue& out) {
        if (!message_.enterContainer(element)) return false;
        BusValue::Items items;
        while (true) {
            BusValue item;
            if (!ReadOne(element, item)) break;
            items.push_back(std::move(item));
        }
        if (exhausted_) return false;
        message_.clearFlags();
        message_.exitContainer();
        out = BusValue::Array(element, std::move(items));
        return true;
    }

    bool ReadFields(const std::string& contents, BusValue::Items& fields) {
        const auto types = SplitSignature(contents);
        if (!types) return false;
        for (const std::string& type : *types) {
            BusValue field;
            if (!ReadOne(type, field)) return false;
            fields.push_back(std::move(field));
        }
        return true;
    }

    sdbus::Message& message_;
    std::size_t valuesLeft_;
    std::size_t textBytesLeft_;
    bool exhausted_ = false;
};

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

BusReadResult ReadBusValues(sdbus::Message& message, const std::string& signature,
                            BusValue::Items& out, const BusReadLimits& limits) {
    const auto types = SplitSignature(signature);
    if (!types) return BusReadResult::Mismatch;
    BudgetedReader reader(message, limits);
    try {
        for (const std::string& type : *types) {
            BusValue value;
            if (!reader.ReadOne(type, value)) {
                out.clear();
                return reader.Exhausted() ? BusReadResult::TooLarge : BusReadResult::Mismatch;
            }
            out.push_back(std::move(value));
        }
    } catch (const std::exception&) {
        out.clear();
        return BusReadResult::Mismatch;
    }
    return BusReadResult::Ok;
}

bool ReadBusValues(sdbus::Message& message, const std::string& signature, BusValue::Items& out) {
    return ReadBusValues(message, signature, out, BusReadLimits{}) == BusReadResult::Ok;
}

}  // namespace velk
