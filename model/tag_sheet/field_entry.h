#pragma once
// Reading the number fields of the tag dialogs: the text as entered goes in, the value or
// the dialog's message comes out. A refused entry returns the user to its field.
#include <cstdint>
#include <optional>
#include <string>

namespace velk {

inline constexpr const char* kMsgEnterInteger = "Enter an integer.";
inline constexpr const char* kMsgEnterPositiveInteger = "Enter a positive integer.";
inline constexpr const char* kMsgEnterNumber = "Enter a number.";
inline constexpr const char* kMsgEnterNonNegativeNumber = "Enter a number of 0 or more.";

// A location is entered as a 16-bit Modbus address + 1.
inline constexpr std::uint32_t kFirstLocation = 1;
inline constexpr std::uint32_t kLastLocation = 65536;
// Priorities are kept in 16 bits.
inline constexpr std::uint32_t kMaxPriority = 0xFFFF;

// "Enter an integer between %1 and %2." with the bounds filled in.
std::string EnterIntegerBetweenMessage(std::int64_t low, std::int64_t high);

// A refused entry: the field (the page's own field numbering) and the message to show.
struct FieldError {
    int field = 0;
    std::string message;
};

// A signed 32-bit integer: optional blanks around an optional sign and decimal digits.
std::optional<std::int32_t> ParseSignedEntry(const std::string& text);
// An unsigned 32-bit integer: optional blanks around decimal digits (no sign).
std::optional<std::uint32_t> ParseUnsignedEntry(const std::string& text);
// A finite number in decimal or exponent notation, blanks around allowed.
std::optional<double> ParseNumberEntry(const std::string& text);

// How a number is shown in an entry field: the shortest text that reads back exactly.
std::string FormatNumberEntry(double value);

// Field checks that record the first refusal: each Read* stores the value when the entry
// parses, and otherwise remembers the field and message (later reads are then skipped).
class FieldReader {
  public:
    void ReadSigned(int field, const std::string& text, std::int32_t& out);
    void ReadUnsigned(int field, const std::string& text, std::uint32_t& out);
    void ReadNumber(int field, const std::string& text, double& out);
    // A number that must not be negative (a deadband).
    void ReadNonNegativeNumber(int field, const std::string& text, double& out);
    void ReadSignedInRange(int field, const std::string& text, std::int32_t low, std::int32_t high,
                           std::int32_t& out);
    // An unsigned entry that must lie in low..high: one that does not parse gets "Enter a
    // positive integer.", one outside the bounds "Enter an integer between low and high."
    // (stored in fewer bits it would silently become another number).
    void ReadUnsignedInRange(int field, const std::string& text, std::uint32_t low,
                             std::uint32_t high, std::uint32_t& out);
    // Refuses a field that was read well but does not fit with another one.
    void RefuseRange(int field, std::int64_t low, std::int64_t high);
    const std::optional<FieldError>& Error() const { return error_; }

  private:
    void Refuse(int field, std::string message);
    std::optional<FieldError> error_;
};

}  // namespace velk
