#include "platform/dbus/bus_signature.h"

#include <cstring>

namespace velk {
namespace {
constexpr std::size_t kMaxDepth = 32;  // the bus refuses deeper nesting anyway

// Length of the complete type starting at position; 0 when none is valid there.
std::size_t CompleteTypeLength(std::string_view s, std::size_t position, std::size_t depth,
                               bool allowDictEntry) {
    if (position >= s.size() || depth > kMaxDepth) return 0;
    const char code = s[position];
    if (IsBasicTypeCode(code) || code == 'v') return 1;
    if (code == 'a') {
        const std::size_t element = CompleteTypeLength(s, position + 1, depth + 1, true);
        return element == 0 ? 0 : element + 1;
    }
    if (code == '(' || code == '{') {
        if (code == '{' && !allowDictEntry) return 0;
        const char close = code == '(' ? ')' : '}';
        std::size_t at = position + 1;
        std::size_t fields = 0;
        while (at < s.size() && s[at] != close) {
            if (code == '{' && fields == 0 && !IsBasicTypeCode(s[at])) return 0;
            const std::size_t length = CompleteTypeLength(s, at, depth + 1, false);
            if (length == 0) return 0;
            at += length;
            ++fields;
        }
        if (at >= s.size()) return 0;
        if (code == '(' && fields == 0) return 0;
        if (code == '{' && fields != 2) return 0;
        return at - position + 1;
    }
    return 0;
}
}  // namespace

bool IsBasicTypeCode(char code) {
    return code != '\0' && std::strchr("ybnqiuxtdsogh", code) != nullptr;
}

std::optional<std::vector<std::string>> SplitSignature(std::string_view signature) {
    std::vector<std::string> types;
    std::size_t at = 0;
    while (at < signature.size()) {
        const std::size_t length = CompleteTypeLength(signature, at, 0, false);
        if (length == 0) return std::nullopt;
        types.emplace_back(signature.substr(at, length));
        at += length;
    }
    return types;
}

}  // namespace velk
