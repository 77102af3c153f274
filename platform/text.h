#pragma once
// Text conversions and comparisons. Text inside the system is UTF-8 in std::string;
// UTF-16 appears at the file and protocol edges (trace file, registry data, OPC strings),
// ISO 8859-1 where a format stores 8-bit text.
#include <string>
#include <string_view>

namespace velk {

// Invalid input sequences become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

// Little-endian UTF-16 bytes, without any terminator.
std::string Utf8ToUtf16LeBytes(std::string_view utf8);
// Decodes little-endian UTF-16 bytes (an odd last byte is ignored).
std::string Utf16LeBytesToUtf8(std::string_view bytes);

// ISO 8859-1; characters above U+00FF become '?'.
std::string Latin1ToUtf8(std::string_view latin1);
std::string Utf8ToLatin1(std::string_view utf8, bool* lossless = nullptr);

// Number of Unicode characters in UTF-8 text.
std::size_t Utf8Length(std::string_view utf8);

// Comparisons that ignore the case of ASCII letters only.
char AsciiLower(char c);
std::string AsciiLowerCopy(std::string_view text);
int CompareNoCase(std::string_view a, std::string_view b);
inline bool EqualsNoCase(std::string_view a, std::string_view b) {
    return CompareNoCase(a, b) == 0;
}

}  // namespace velk
