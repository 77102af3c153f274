#include "model/object_archive.h"

#include <bit>

#include "platform/text.h"

namespace velk {
namespace {

constexpr std::uint16_t kFullClassRecord = 0xFFFF;
constexpr std::uint16_t kLongReference = 0x7FFF;
constexpr std::uint16_t kClassReferenceBit = 0x8000;
constexpr std::uint32_t kLongClassReferenceBit = 0x80000000u;
constexpr std::uint16_t kWideMark = 0xFFFE;

}  // namespace

ObjectArchive::ObjectArchive() : loading_(false) {}

ObjectArchive::ObjectArchive(std::string_view bytes) : loading_(true), in_(bytes) {}

// ---- writer ---------------------------------------------------------------------------

void ObjectArchive::PutU8(std::uint8_t value) { out_ += static_cast<char>(value); }

void ObjectArchive::PutU16(std::uint16_t value) {
    PutU8(static_cast<std::uint8_t>(value & 0xFF));
    PutU8(static_cast<std::uint8_t>(value >> 8));
}

void ObjectArchive::PutU32(std::uint32_t value) {
    PutU16(static_cast<std::uint16_t>(value & 0xFFFF));
    PutU16(static_cast<std::uint16_t>(value >> 16));
}

void ObjectArchive::PutDouble(double value) {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    PutU32(static_cast<std::uint32_t>(bits & 0xFFFFFFFFu));
    PutU32(static_cast<std::uint32_t>(bits >> 32));
}

void ObjectArchive::PutText(std::string_view utf8) { PutUnits(Utf8ToUtf16(utf8)); }

void ObjectArchive::PutUnits(const std::u16string& units) {
    const std::size_t n = units.size();
    PutU8(0xFF);
    PutU16(kWideMark);
    if (n < 0xFF) {
        PutU8(static_cast<std::uint8_t>(n));
    } else if (n < 0xFFFE) {
        PutU8(0xFF);
        PutU16(static_cast<std::uint16_t>(n));
    } else {
        PutU8(0xFF);
        PutU16(0xFFFF);
        PutU32(static_cast<std::uint32_t>(n));
    }
    out_.reserve(out_.size() + 2 * n);
    for (char16_t unit : units) PutU16(static_cast<std::uint16_t>(unit));
}

void ObjectArchive::PutCount(std::uint32_t count) {
    if (count < 0xFFFF) {
        PutU16(static_cast<std::uint16_t>(count));
    } else {
        PutU16(0xFFFF);
        PutU32(count);
    }
}

void ObjectArchive::PutClassOnly(std::string_view name, std::uint16_t schema) {
    if (const ClassEntry* known = FindByName(name)) {
        if (known->number < kLongReference) {
            PutU16(static_cast<std::uint16_t>(kClassReferenceBit + known->number));
        } else {
            PutU16(kLongReference);
            PutU32(kLongClassReferenceBit + known->number);
        }
        return;
    }
    PutU16(kFullClassRecord);
    PutU16(schema);
    PutU16(static_cast<std::uint16_t>(name.size()));
    out_.append(name);
    classes_.push_back(ClassEntry{std::string(name), schema, nextNumber_++});
}

void ObjectArchive::PutClass(std::string_view name, std::uint16_t schema) {
    PutClassOnly(name, schema);
}

void ObjectArchive::PutObjectClass(std::string_view name, std::uint16_t schema) {
    PutClassOnly(name, schema);
    ++nextNumber_;
}

// ---- reader ---------------------------------------------------------------------------

bool ObjectArchive::Refuse() {
    failed_ = true;
    return false;
}

bool ObjectArchive::GetBytes(std::size_t count, std::string_view& bytes) {
    if (failed_ || count > Remaining()) return Refuse();
    bytes = in_.substr(pos_, count);
    pos_ += count;
    return true;
}

bool ObjectArchive::GetU8(std::uint8_t& value) {
    std::string_view b;
    if (!GetBytes(1, b)) return false;
    value = static_cast<std::uint8_t>(b[0]);
    return true;
}

bool ObjectArchive::GetU16(std::uint16_t& value) {
    std::string_view b;
    if (!GetBytes(2, b)) return false;
    value = static_cast<std::uint16_t>(static_cast<unsigned char>(b[0]) |
                                       (static_cast<unsigned char>(b[1]) << 8));
    return true;
}

bool ObjectArchive::GetU32(std::uint32_t& value) {
    std::string_view b;
    if (!GetBytes(4, b)) return false;
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[i]);
    value = v;
    return true;
}

bool ObjectArchive::GetI16(std::int16_t& value) {
    std::uint16_t v = 0;
    if (!GetU16(v)) return false;
    value = static_cast<std::int16_t>(v);
    return true;
}

bool ObjectArchive::GetI32(std::int32_t& value) {
    std::uint32_t v = 0;
    if (!GetU32(v)) return false;
    value = static_cast<std::int32_t>(v);
    return true;
}

bool ObjectArchive::GetDouble(double& value) {
    std::uint32_t low = 0;
    std::uint32_t high = 0;
    if (!GetU32(low) || !GetU32(high)) return false;
    value = std::bit_cast<double>((static_cast<std::uint64_t>(high) << 32) | low);
    return true;
}

// Continues a text length after a 16-bit value: 0xFFFF escapes to 32 bits, and a 32-bit
// 0xFFFFFFFF to a 64-bit length, which this system never writes and refuses.
bool ObjectArchive::GetTextLength(std::uint32_t first16, std::uint64_t& length) {
    if (first16 < 0xFFFF) {
        length = first16;
        return true;
    }
    std::uint32_t d = 0;
    if (!GetU32(d)) return false;
    if (d == 0xFFFFFFFFu) return Refuse();
    length = d;
    return true;
}

bool ObjectArchive::GetText(std::string& utf8) {
    std::uint8_t b = 0;
    if (!GetU8(b)) return false;
    std::uint64_t length = b;
    bool wide = false;
    if (b == 0xFF) {
        std::uint16_t w = 0;
        if (!GetU16(w)) return false;
        if (w == kWideMark) {
            wide = true;
            if (!GetU8(b)) return false;
            length = b;
            if (b == 0xFF) {
                if (!GetU16(w) || !GetTextLength(w, length)) return false;
            }
        } else if (!GetTextLength(w, length)) {
            return false;
        }
    }
    const std::uint64_t bytes = wide ? 2 * length : length;
    if (bytes > Remaining()) return Refuse();
    std::string_view raw;
    if (!GetBytes(static_cast<std::size_t>(bytes), raw)) return false;
    utf8 = wide ? Utf16LeBytesToUtf8(raw) : Latin1ToUtf8(raw);
    return true;
}

bool ObjectArchive::GetCount(std::uint32_t& count) {
    std::uint16_t w = 0;
    if (!GetU16(w)) return false;
    if (w < 0xFFFF) {
        count = w;
        return true;
    }
    return GetU32(count);
}

bool ObjectArchive::GetListCount(std::uint32_t& count) {
    std::uint32_t n = 0;
    if (!GetCount(n)) return false;
    if (n > Remaining() / kMinEntryBytes) return Refuse();
    count = n;
    return true;
}

bool ObjectArchive::GetFullClassRecord(const ClassEntry*& entry) {
    std::uint16_t schema = 0;
    std::uint16_t length = 0;
    if (!GetU16(schema) || !GetU16(length)) return false;
    if (length >= kClassNameLimit) return Refuse();
    std::string_view name;
    if (!GetBytes(length, name)) return false;
    // A class is introduced once per stream; a second full record is malformed, and
    // refusing it keeps the class table as small as the set of expected classes.
    if (FindByName(name) != nullptr) return Refuse();
    classes_.push_back(ClassEntry{std::string(name), schema, nextNumber_++});
    entry = &classes_.back();
    return true;
}

bool ObjectArchive::GetClassOnly(std::string_view name, std::uint16_t& schema) {
    std::uint16_t lead = 0;
    if (!GetU16(lead)) return false;
    const ClassEntry* entry = nullptr;
    if (lead == kFullClassRecord) {
        if (!GetFullClassRecord(entry)) return false;
    } else if (lead == kLongReference) {
        std::uint32_t d = 0;
        if (!GetU32(d)) return false;
        // A long object back-reference has the top bit clear; objects are never shared.
        if ((d & kLongClassReferenceBit) == 0) return Refuse();
        entry = FindByNumber(d - kLongClassReferenceBit);
    } else if ((lead & kClassReferenceBit) != 0) {
        entry = FindByNumber(lead - kClassReferenceBit);
    }
    // What is left is a null entry or a short back-reference: neither may enter the tree.
    if (entry == nullptr || entry->name != name) return Refuse();
    schema = entry->schema;
    return true;
}

bool ObjectArchive::GetClass(std::string_view name, std::uint16_t& schema) {
    return GetClassOnly(name, schema);
}

bool ObjectArchive::GetObjectClass(std::string_view name, std::uint16_t& schema) {
    if (!GetClassOnly(name, schema)) return false;
    ++nextNumber_;
    return true;
}

const ObjectArchive::ClassEntry* ObjectArchive::FindByName(std::string_view name) const {
    for (const ClassEntry& entry : classes_) {
        if (entry.name == name) return &entry;
    }
    return nullptr;
}

const ObjectArchive::ClassEntry* ObjectArchive::FindByNumber(std::uint32_t number) const {
    for (const ClassEntry& entry : classes_) {
        if (entry.number == number) return &entry;
    }
    return nullptr;
}

}  // namespace velk
