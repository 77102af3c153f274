#pragma once
// Byte strings of the object stream written and shown in tests.
#include <initializer_list>
#include <string>

namespace velk::testing {

// "0A FF 00": the bytes in hex, separated by spaces.
inline std::string Hex(const std::string& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        if (!out.empty()) out += ' ';
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// The bytes of the given values (0..255).
inline std::string Bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) out += static_cast<char>(v);
    return out;
}

}  // namespace velk::testing
