#include "opcae/match_pattern.h"

#include <cstddef>
#include <string>

#include "platform/text.h"

namespace velk {
namespace {

char16_t Fold(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

// Matches one character against the list that starts after "[" at pattern[at]. Sets next
// to the position after "]"; false in ok when the list has no "]".
bool MatchList(std::u16string_view pattern, std::size_t at, char16_t c, std::size_t& next,
               bool& ok) {
    std::size_t i = at;
    bool negate = false;
    if (i < pattern.size() && pattern[i] == u'!') {
        negate = true;
        ++i;
    }
    bool found = false;
    bool first = true;
    while (i < pattern.size() && (pattern[i] != u']' || first)) {
        first = false;
        char16_t low = Fold(pattern[i]);
        char16_t high = low;
        if (i + 2 < pattern.size() && pattern[i + 1] == u'-' && pattern[i + 2] != u']') {
            high = Fold(pattern[i + 2]);
            i += 2;
        }
        if (low > high) std::swap(low, high);
        if (Fold(c) >= low && Fold(c) <= high) found = true;
        ++i;
    }
    ok = i < pattern.size();
    next = i + 1;
    return found != negate;
}

// Matches one pattern element at p against c; advances p past the element.
bool MatchOne(std::u16string_view pattern, std::size_t& p, char16_t c) {
    const char16_t element = pattern[p];
    if (element == u'?') {
        ++p;
        return true;
    }
    if (element == u'#') {
        ++p;
        return c >= u'0' && c <= u'9';
    }
    if (element == u'[') {
        std::size_t next = 0;
        bool ok = false;
        const bool matched = MatchList(pattern, p + 1, c, next, ok);
        if (ok) {
            p = next;
            return matched;
        }
    }
    ++p;
    return Fold(element) == Fold(c);
}

}  // namespace

bool MatchPattern(std::string_view text8, std::string_view pattern8) {
    const std::u16string text = Utf8ToUtf16(text8);
    const std::u16string pattern = Utf8ToUtf16(pattern8);
    std::size_t t = 0;
    std::size_t p = 0;
    std::size_t starP = std::u16string::npos;  // pattern position after the last "*"
    std::size_t starT = 0;                     // text position that "*" was tried at
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starP = ++p;
            starT = t;
            continue;
        }
        std::size_t next = p;
        if (p < pattern.size() && MatchOne(pattern, next, text[t])) {
            p = next;
            ++t;
            continue;
        }
        if (starP == std::u16string::npos) return false;
        p = starP;
        t = ++starT;
    }
    while (p < pattern.size() && pattern[p] == u'*') ++p;
    return p == pattern.size();
}

}  // namespace velk
