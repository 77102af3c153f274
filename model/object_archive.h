#pragma once
// The object stream shared by the ".vlk" configuration file and the "Modbus" clipboard
// format: little-endian fixed-width values, length-prefixed texts, class records that are
// introduced once and referred to by number afterwards, and lists of objects.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velk {

class ObjectArchive {
  public:
    // Class names of this length or longer are refused when reading.
    static constexpr std::size_t kClassNameLimit = 64;
    // The smallest number of bytes one list entry can take (its lead value).
    static constexpr std::size_t kMinEntryBytes = 2;

    // A writer that appends to its own buffer.
    ObjectArchive();
    // A reader over bytes that must outlive the archive.
    explicit ObjectArchive(std::string_view bytes);
    // A reader must not outlive its bytes.
    explicit ObjectArchive(std::string&&) = delete;

    bool IsLoading() const { return loading_; }

    // Writer side.
    void PutU8(std::uint8_t value);
    void PutU16(std::uint16_t value);
    void PutU32(std::uint32_t value);
    void PutI16(std::int16_t value) { PutU16(static_cast<std::uint16_t>(value)); }
    void PutI32(std::int32_t value) { PutU32(static_cast<std::uint32_t>(value)); }
    void PutDouble(double value);
    // UTF-8 text, always written in the wide form.
    void PutText(std::string_view utf8);
    void PutCount(std::uint32_t count);
    // A class mark: the full class record on first use, a class reference afterwards.
    void PutClass(std::string_view name, std::uint16_t schema);
    // The class of an object followed by the object's number; the record comes next.
    void PutObjectClass(std::string_view name, std::uint16_t schema);
    const std::string& Bytes() const { return out_; }
    std::string TakeBytes() { return std::move(out_); }

    // Reader side. Every getter fails (returns false, leaves the value untouched and makes
    // the archive failed for good) on malformed data or on an unexpected end of the data.
    bool GetU8(std::uint8_t& value);
    bool GetU16(std::uint16_t& value);
    bool GetU32(std::uint32_t& value);
    bool GetI16(std::int16_t& value);
    bool GetI32(std::int32_t& value);
    bool GetDouble(double& value);
    // Accepts the 8-bit form (ISO 8859-1) and the wide form; gives UTF-8. 64-bit lengths
    // and lengths beyond the remaining bytes fail.
    bool GetText(std::string& utf8);
    bool GetCount(std::uint32_t& count);
    // A list count; fails when the remaining bytes cannot hold that many entries.
    bool GetListCount(std::uint32_t& count);
    // A class mark that must name `name`; gives the schema in force for its record.
    bool GetClass(std::string_view name, std::uint16_t& schema);
    // The class of an object that must be of class `name`, and numbers the object. A null
    // entry, a back-reference or another class fails.
    bool GetObjectClass(std::string_view name, std::uint16_t& schema);

    // Marks a reader failed, for records whose contents contradict the format.
    void Fail() { failed_ = true; }
    bool Failed() const { return failed_; }
    std::size_t Position() const { return pos_; }
    std::size_t Remaining() const { return in_.size() - pos_; }

  private:
    struct ClassEntry {
        std::string name;
        std::uint16_t schema = 0;
        std::uint32_t number = 0;
    };

    const ClassEntry* FindByName(std::string_view name) const;
    const ClassEntry* FindByNumber(std::uint32_t number) const;
    void PutClassOnly(std::string_view name, std::uint16_t schema);
    void PutUnits(const std::u16string& units);
    bool GetBytes(std::size_t count, std::string_view& bytes);
    bool GetTextLength(std::uint32_t first16, std::uint64_t& length);
    bool GetClassOnly(std::string_view name, std::uint16_t& schema);
    bool GetFullClassRecord(const ClassEntry*& entry);
    bool Refuse();

    bool loading_;
    bool failed_ = false;
    std::string out_;
    std::string_view in_;
    std::size_t pos_ = 0;
    // One counter for classes and objects; 0 stands for no object.
    std::uint32_t nextNumber_ = 1;
    std::vector<ClassEntry> classes_;
};

}  // namespace velk
